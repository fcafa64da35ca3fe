// Every cross-built library used once, the way the installer uses it, so that a fault of the
// recipe (a missing feature, a wrong TLS back end, a header that does not match its library,
// a broken thread or socket layer) shows here under Wine and not on an endpoint.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <msgpack.h>
#include <mxml.h>
#include <unzip.h>
#include <uv.h>
#include <zip.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string compressible_text(size_t size) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i) text += "line " + std::to_string(i % 97) + "\n";
    text.resize(size);
    return text;
}

TEST(Zlib, HeaderMatchesLibraryAndDataRoundTrips) {
    EXPECT_STREQ(zlibVersion(), ZLIB_VERSION);
    const std::string input = compressible_text(64 * 1024);
    std::vector<Bytef> packed(compressBound(input.size()));
    uLongf packed_size = packed.size();
    ASSERT_EQ(compress2(packed.data(), &packed_size, reinterpret_cast<const Bytef*>(input.data()), input.size(), 9),
              Z_OK);
    EXPECT_LT(packed_size, input.size() / 4);
    std::string output(input.size(), '\0');
    uLongf output_size = output.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(output.data()), &output_size, packed.data(), packed_size), Z_OK);
    EXPECT_EQ(output, input);
}

// Written by minizip's zip functions, read back by its unzip functions through the 64-bit file
// functions of the MinGW C library, checked against zlib's own CRC.
TEST(Minizip, ReadsBackTheZipItWrote) {
    const std::string path = (std::filesystem::temp_directory_path() / "qsw-proof.zip").string();
    const std::string data = compressible_text(300 * 1024);

    zipFile writer = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(writer, nullptr) << path;
    zip_fileinfo info{};
    ASSERT_EQ(zipOpenNewFileInZip64(writer, "Vesinst.exe", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                    Z_BEST_COMPRESSION, 1),
              ZIP_OK);
    ASSERT_EQ(zipWriteInFileInZip(writer, data.data(), static_cast<unsigned>(data.size())), ZIP_OK);
    ASSERT_EQ(zipCloseFileInZip(writer), ZIP_OK);
    ASSERT_EQ(zipClose(writer, nullptr), ZIP_OK);

    unzFile reader = unzOpen64(path.c_str());
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(unzLocateFile(reader, "Vesinst.exe", 0), UNZ_OK);
    unz_file_info64 entry{};
    ASSERT_EQ(unzGetCurrentFileInfo64(reader, &entry, nullptr, 0, nullptr, 0, nullptr, 0), UNZ_OK);
    EXPECT_EQ(entry.uncompressed_size, data.size());
    EXPECT_LT(entry.compressed_size, data.size() / 4);
    EXPECT_EQ(entry.crc, crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
    ASSERT_EQ(unzOpenCurrentFile(reader), UNZ_OK);
    std::string read_back(data.size() + 1, '\0');
    int count = unzReadCurrentFile(reader, read_back.data(), static_cast<unsigned>(read_back.size()));
    EXPECT_EQ(unzCloseCurrentFile(reader), UNZ_OK);   // checks the CRC of what was read
    unzClose(reader);
    ASSERT_EQ(count, static_cast<int>(data.size()));
    read_back.resize(count);
    EXPECT_EQ(read_back, data);
    std::filesystem::remove(path);
}

std::string last_xml_error;
void record_xml_error(const char* message) { last_xml_error = message; }

TEST(MiniXml, ReadsTextWithEntitiesAndRefusesBrokenDocuments) {
    const char* document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ConInfo>\n"
        "  <bsurl>https://lumacore.example.com:443/config?token=0a&amp;site=42</bsurl>\n"
        "</ConInfo>\n";
    mxml_node_t* tree = mxmlLoadString(nullptr, document, MXML_OPAQUE_CALLBACK);
    ASSERT_NE(tree, nullptr);
    mxml_node_t* url = mxmlFindElement(tree, tree, "bsurl", nullptr, nullptr, MXML_DESCEND);
    ASSERT_NE(url, nullptr);
    EXPECT_STREQ(mxmlGetOpaque(url), "https://lumacore.example.com:443/config?token=0a&site=42");
    mxmlDelete(tree);

    // The error callback lives in the library's per-thread data (winpthread underneath).
    mxmlSetErrorCallback(record_xml_error);
    EXPECT_EQ(mxmlLoadString(nullptr, "<ConInfo><bsurl></ConInfo>", MXML_OPAQUE_CALLBACK), nullptr);
    EXPECT_FALSE(last_xml_error.empty());
    mxmlSetErrorCallback(nullptr);
}

TEST(Msgpack, PacksExactBytesAndUnpacksThem) {
    msgpack_sbuffer buffer;
    msgpack_sbuffer_init(&buffer);
    msgpack_packer packer;
    msgpack_packer_init(&packer, &buffer, msgpack_sbuffer_write);
    msgpack_pack_array(&packer, 3);
    msgpack_pack_uint32(&packer, 0x01020304);
    msgpack_pack_str(&packer, 5);
    msgpack_pack_str_body(&packer, "peers", 5);
    msgpack_pack_bin(&packer, 2);
    msgpack_pack_bin_body(&packer, "\x00\xff", 2);

    // Big-endian on the wire whatever the host: a little-endian slip shows here.
    const std::vector<unsigned char> expected = {0x93, 0xce, 0x01, 0x02, 0x03, 0x04, 0xa5, 'p',
                                                 'e',  'e',  'r',  's',  0xc4, 0x02, 0x00, 0xff};
    ASSERT_EQ(std::vector<unsigned char>(buffer.data, buffer.data + buffer.size), expected);

    msgpack_unpacked result;
    msgpack_unpacked_init(&result);
    size_t offset = 0;
    ASSERT_EQ(msgpack_unpack_next(&result, buffer.data, buffer.size, &offset), MSGPACK_UNPACK_SUCCESS);
    EXPECT_EQ(offset, buffer.size);
    const msgpack_object& array = result.data;
    ASSERT_EQ(array.type, MSGPACK_OBJECT_ARRAY);
    ASSERT_EQ(array.via.array.size, 3u);
    EXPECT_EQ(array.via.array.ptr[0].via.u64, 0x01020304u);
    ASSERT_EQ(array.via.array.ptr[1].type, MSGPACK_OBJECT_STR);
    EXPECT_EQ(std::string(array.via.array.ptr[1].via.str.ptr, array.via.array.ptr[1].via.str.size), "peers");
    ASSERT_EQ(array.via.array.ptr[2].type, MSGPACK_OBJECT_BIN);
    EXPECT_EQ(std::memcmp(array.via.array.ptr[2].via.bin.ptr, "\x00\xff", 2), 0);
    msgpack_unpacked_destroy(&result);
    msgpack_sbuffer_destroy(&buffer);
}

// OpenSSL, not Schannel: the transfers' certificate checks need its SSL-context hook.
TEST(Curl, UsesOpenSslAndSpeaksOnlyHttpAndHttps) {
    ASSERT_EQ(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    ASSERT_NE(info->ssl_version, nullptr);
    EXPECT_NE(std::string(info->ssl_version).find("OpenSSL"), std::string::npos) << info->ssl_version;
    EXPECT_TRUE(info->features & CURL_VERSION_SSL);
    EXPECT_TRUE(info->features & CURL_VERSION_IPV6);
    EXPECT_TRUE(info->features & CURL_VERSION_NTLM);      // NTLM proxies, by libcurl itself on OpenSSL
    EXPECT_TRUE(info->features & CURL_VERSION_UNICODE);   // file names passed as UTF-8
    EXPECT_FALSE(info->features & CURL_VERSION_LIBZ);
    std::set<std::string> protocols;
    for (const char* const* protocol = info->protocols; *protocol; ++protocol) protocols.insert(*protocol);
    EXPECT_EQ(protocols, (std::set<std::string>{"http", "https"}));
    curl_global_cleanup();
}

// Wine's sockets follow its wineserver into the run's namespace: only loopback is there.
TEST(Libuv, SeesNoNetworkButLoopback) {
    uv_interface_address_t* interfaces = nullptr;
    int count = 0;
    ASSERT_EQ(uv_interface_addresses(&interfaces, &count), 0);
    std::vector<std::string> outside;
    for (int i = 0; i < count; ++i)
        if (!interfaces[i].is_internal) outside.push_back(interfaces[i].name);
    uv_free_interface_addresses(interfaces, count);
    EXPECT_GE(count, 1);
    EXPECT_TRUE(outside.empty()) << "reachable beyond loopback through " << outside.front();
}

// A libuv loop on its own thread answers one HTTP request on 127.0.0.1 and libcurl fetches it:
// Winsock, the loop, threads and a transfer, inside the run's own network namespace.
struct one_shot_server {
    uv_loop_t loop;
    uv_tcp_t listener;
    uv_tcp_t client;
    uv_write_t write;
    uv_async_t stop;
    std::string request;
    uv_buf_t response;
};

void close_if_open(uv_handle_t* handle) {
    if (!uv_is_closing(handle)) uv_close(handle, nullptr);
}

void stop_server(uv_async_t* stop) {
    auto* server = static_cast<one_shot_server*>(stop->data);
    close_if_open(reinterpret_cast<uv_handle_t*>(&server->client));
    close_if_open(reinterpret_cast<uv_handle_t*>(&server->listener));
    close_if_open(reinterpret_cast<uv_handle_t*>(&server->stop));
}

void allocate(uv_handle_t*, size_t suggested, uv_buf_t* buffer) {
    buffer->base = new char[suggested];
    buffer->len = static_cast<decltype(buffer->len)>(suggested);
}

void on_request_bytes(uv_stream_t* stream, ssize_t count, const uv_buf_t* buffer) {
    auto* server = static_cast<one_shot_server*>(stream->data);
    if (count > 0) server->request.append(buffer->base, static_cast<size_t>(count));
    delete[] buffer->base;
    if (count < 0 || server->request.find("\r\n\r\n") == std::string::npos) return;
    uv_read_stop(stream);
    uv_write(&server->write, stream, &server->response, 1, nullptr);
}

void on_connection(uv_stream_t* listener, int status) {
    auto* server = static_cast<one_shot_server*>(listener->data);
    if (status != 0) return;
    uv_tcp_init(&server->loop, &server->client);
    server->client.data = server;
    if (uv_accept(listener, reinterpret_cast<uv_stream_t*>(&server->client)) == 0)
        uv_read_start(reinterpret_cast<uv_stream_t*>(&server->client), allocate, on_request_bytes);
}

size_t collect_body(char* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

TEST(CurlAndLibuv, FetchOverLoopbackFromALibuvServer) {
    static char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 8\r\nConnection: close\r\n\r\nswiftset";
    one_shot_server server{};
    server.response = uv_buf_init(reply, sizeof reply - 1);
    ASSERT_EQ(uv_loop_init(&server.loop), 0);
    uv_tcp_init(&server.loop, &server.listener);
    uv_async_init(&server.loop, &server.stop, stop_server);
    server.listener.data = server.stop.data = &server;
    sockaddr_in address{};
    uv_ip4_addr("127.0.0.1", 0, &address);
    ASSERT_EQ(uv_tcp_bind(&server.listener, reinterpret_cast<const sockaddr*>(&address), 0), 0);
    ASSERT_EQ(uv_listen(reinterpret_cast<uv_stream_t*>(&server.listener), 4, on_connection), 0);
    int length = sizeof address;
    ASSERT_EQ(uv_tcp_getsockname(&server.listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::thread loop_thread([&server] { uv_run(&server.loop, UV_RUN_DEFAULT); });

    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/proof";
    std::string body;
    long response_code = 0;
    CURL* easy = curl_easy_init();
    ASSERT_NE(easy, nullptr);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    CURLcode result = curl_easy_perform(easy);
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response_code);
    curl_easy_cleanup(easy);

    uv_async_send(&server.stop);
    loop_thread.join();
    EXPECT_EQ(uv_loop_close(&server.loop), 0);
    EXPECT_EQ(result, CURLE_OK) << curl_easy_strerror(result);
    EXPECT_EQ(response_code, 200);
    EXPECT_EQ(body, "swiftset");
    EXPECT_EQ(server.request.rfind("GET /proof HTTP/1.1\r\n", 0), 0u) << server.request;
}

}   // namespace

// qsw-stamp: makes a per-deployment copy of the installer by appending a ConInfo document and
// the trailer that tells the installer where the document lies.
//
//   qsw-stamp <installer> <coninfo.xml> <output>
//
// Layout of the output: the installer as built, the document (ending with a line break), one
// zero byte, then "<bs>NNNNNNNNNNN</bs><ds>NNNNNNNNNNN</ds>" (offset and length of the document).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "config/xml_document.h"
#include "core/connection_data.h"
#include "os/files.h"

namespace {
constexpr unsigned long long largest_field = 99999999999ULL;   // 11 digits

int refuse(const std::string& why) {
    std::fprintf(stderr, "qsw-stamp: %s\n", why.c_str());
    return 1;
}

bool read_file(const char* path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream data;
    data << in.rdbuf();
    out = data.str();
    return !in.bad();
}

bool already_stamped(const std::string& installer) {
    if (installer.size() < trailer_size) return false;
    uint64_t offset = 0, length = 0;
    return parse_connection_trailer(installer.data() + installer.size() - trailer_size, installer.size(), &offset,
                                    &length);
}

// The document must be one the installer can use: XML with a bsurl element.
std::string document_problem(const char* path, const std::string& document) {
    if (document.empty()) return "the connection document is empty";
    if (document.find('\0') != std::string::npos) return "the connection document contains a zero byte";
    xml_document doc(path);
    if (!doc.ok()) return "the connection document is not well-formed XML";
    if (!doc.find("bsurl")) return "the connection document has no bsurl element";
    return {};
}
}   // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: qsw-stamp <installer> <coninfo.xml> <output>\n");
        return 2;
    }
    std::string installer, document;
    if (!read_file(argv[1], installer)) return refuse(std::string("cannot read the installer ") + argv[1]);
    if (!read_file(argv[2], document)) return refuse(std::string("cannot read the connection document ") + argv[2]);
    if (already_stamped(installer)) return refuse("the installer already carries connection data");
    std::string problem = document_problem(argv[2], document);
    if (!problem.empty()) return refuse(problem);
    if (document.back() != '\n') document += '\n';
    if (installer.size() > largest_field || document.size() > largest_field)
        return refuse("the installer or the document is too large for the trailer");

    char trailer[trailer_size + 1];
    std::snprintf(trailer, sizeof trailer, "<bs>%011llu</bs><ds>%011llu</ds>",
                  static_cast<unsigned long long>(installer.size()), static_cast<unsigned long long>(document.size()));

    std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
    out << installer << document << '\0';
    out.write(trailer, trailer_size);
    out.close();
    if (!out) return refuse(std::string("cannot write ") + argv[3]);
    os_copy_permissions(argv[1], argv[3]);
    std::printf("stamped %s (%zu bytes of connection data at offset %zu)\n", argv[3], document.size(),
                installer.size());
    return 0;
}

// How soon a synchronous UDP request returns once a reply handler sets the stop flag, against a
// request that runs to its 2,000 ms time-out. Sends discovery traffic: it refuses to run in the
// machine's own network namespace; bench/run_udp_request_bench.py runs it inside a private one
// with a peer in another.
//
// usage: udp_request_bench <port> [runs]
#include "clients/udp/qz_udp_message.h"
#include "clients/udp/qz_udp_request.h"
#include "utils/event_loop/qz_loop_worker.h"

#include <sys/stat.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

struct run_record {
    bool stop = true;
    int replies = 0;
    clock_type::time_point first_reply;
};

int on_reply(qz_udp_request*, const qz_udp_reply*, void* user_data, int* stop) {
    auto* record = static_cast<run_record*>(user_data);
    if (record->replies++ == 0) record->first_reply = clock_type::now();
    if (record->stop) *stop = 1;
    return 0;
}

// True only when this process's network is the harness namespace of that name.
bool inside_harness_namespace(const std::string& name) {
    if (name.compare(0, 5, "qswt-") != 0 || name.find('/') != std::string::npos) return false;
    struct stat wanted, mine;
    if (stat(("/run/netns/" + name).c_str(), &wanted) != 0) return false;
    if (stat("/proc/self/ns/net", &mine) != 0) return false;
    return wanted.st_ino == mine.st_ino && wanted.st_dev == mine.st_dev;
}

double ms(clock_type::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One synchronous run; false when no reply came.
bool run_once(qz_net_context* context, uint16_t port, bool stop, double* total_ms, double* after_reply_ms) {
    qz_udp_request* request = nullptr;
    if (qz_udp_request_create(context, &request) != 0) return false;
    run_record record;
    record.stop = stop;
    qz_udp_request_set_group_address(request, "ff08::2");
    qz_udp_request_set_port(request, port);
    qz_udp_request_set_reply_handler(request, on_reply);
    qz_udp_request_set_user_data(request, &record);
    qz_msgbus_message* content = qz_msgbus_message_create();
    qz_msgbus_message_set_string_property(content, "prop.key.msg_type", "bench.query");
    qz_udp_message* message = qz_udp_message_create_msgbus(content);
    qz_udp_request_add_message(request, message);
    qz_udp_message_release(message);
    qz_msgbus_message_release(content);

    clock_type::time_point started = clock_type::now();
    qz_udp_request_run_sync(request);
    clock_type::time_point ended = clock_type::now();
    qz_udp_request_release(request);
    if (record.replies == 0) return false;
    *total_ms = ms(ended - started);
    *after_reply_ms = ms(ended - record.first_reply);
    return true;
}

}   // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <namespace> <port> [runs]\n", argv[0]);
        return 2;
    }
    if (!inside_harness_namespace(argv[1])) {
        std::fprintf(stderr, "not inside the test namespace %s: refusing to send; use bench/run_udp_request_bench.py\n",
                     argv[1]);
        return 2;
    }
    auto port = static_cast<uint16_t>(std::atoi(argv[2]));
    int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 50;

    qz_loop_host* host = qz_loop_worker_create();
    if (!host || qz_loop_worker_start(host) != 0) return 1;
    qz_net_context context = {nullptr, qz_loop_host_loop(host), qz_loop_host_worker(host)};

    std::vector<double> stopped_total, stopped_after_reply, full_total;
    for (int i = 0; i < runs; ++i) {
        double total, after;
        if (run_once(&context, port, true, &total, &after)) {
            stopped_total.push_back(total);
            stopped_after_reply.push_back(after);
        }
    }
    for (int i = 0; i < 3; ++i) {
        double total, after;
        if (run_once(&context, port, false, &total, &after)) full_total.push_back(total);
    }
    qz_loop_worker_stop(host);
    qz_loop_worker_join(host);
    qz_loop_worker_release(host);

    std::printf("udp request, one peer, time-out 2000 ms\n");
    std::printf("  stop on first reply: %zu/%d runs answered\n", stopped_total.size(), runs);
    std::printf("    median send->return         %8.3f ms\n", median(stopped_total));
    std::printf("    median first reply->return  %8.3f ms\n", median(stopped_after_reply));
    if (!stopped_total.empty())
        std::printf("    min / max send->return      %8.3f / %.3f ms\n",
                    *std::min_element(stopped_total.begin(), stopped_total.end()),
                    *std::max_element(stopped_total.begin(), stopped_total.end()));
    std::printf("  run to time-out: %zu runs\n", full_total.size());
    std::printf("    median send->return         %8.3f ms\n", median(full_total));
    if (!stopped_total.empty() && !full_total.empty())
        std::printf("  ratio time-out run / stopped run: %.1f\n", median(full_total) / median(stopped_total));
    return stopped_total.empty() ? 1 : 0;
}

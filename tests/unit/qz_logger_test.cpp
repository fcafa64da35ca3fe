// Framework logger handle: filtering by severity, formatting, the call site, long lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/qz_logger.h"

namespace {

struct seen {
    int severity;
    std::string module, file, function, message;
    int line;
};

void collect(void* context, int severity, const char* module, const char* file, int line, const char* function,
             const char* message) {
    static_cast<std::vector<seen>*>(context)->push_back({severity, module, file, function, message, line});
}

TEST(QzLogger, FormatsAndFiltersBySeverity) {
    std::vector<seen> lines;
    qz_logger logger;
    logger.write = collect;
    logger.context = &lines;
    logger.max_severity = QZ_LOG_REFUSED;

    QZ_LOG(&logger, QZ_LOG_FAILURE, "udp_client", "rc = <%d> %s", 501, "pipe");
    int here = __LINE__ - 1;
    QZ_LOG(&logger, QZ_LOG_REFUSED, "udp_client", "refused");
    QZ_LOG(&logger, QZ_LOG_INFO, "udp_client", "not wanted %d", 1);
    QZ_LOG(&logger, QZ_LOG_TRACE, "udp_client", "not wanted either");

    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].severity, QZ_LOG_FAILURE);
    EXPECT_EQ(lines[0].module, "udp_client");
    EXPECT_EQ(lines[0].message, "rc = <501> pipe");
    EXPECT_EQ(lines[0].line, here);
    EXPECT_EQ(lines[0].function, "TestBody");
    EXPECT_NE(lines[0].file.find("qz_logger_test.cpp"), std::string::npos);
    EXPECT_EQ(lines[1].message, "refused");
}

TEST(QzLogger, CutsLongLinesAndIgnoresMissingSinks) {
    std::vector<seen> lines;
    qz_logger logger;
    logger.write = collect;
    logger.context = &lines;
    std::string long_text(5000, 'x');
    QZ_LOG(&logger, QZ_LOG_TRACE, "p2p_client", "%s", long_text.c_str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, std::string(1023, 'x'));

    QZ_LOG(nullptr, QZ_LOG_FAILURE, "p2p_client", "nowhere %d", 1);
    qz_logger no_sink;
    QZ_LOG(&no_sink, QZ_LOG_FAILURE, "p2p_client", "nowhere %d", 2);
    EXPECT_EQ(lines.size(), 1u);
}

}   // namespace

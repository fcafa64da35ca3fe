// The agent installer launch with the demonstration's installer (demo/agent/Vesinst.sh copied
// as Vesinst.exe), which records the arguments it received one per line.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "config/hash_manifest.h"
#include "core/options.h"
#include "fixtures/test_helpers.h"
#include "fixtures/test_servers.h"
#include "install/agent_installer.h"
#include "log_capture.h"

namespace {
namespace fs = std::filesystem;

const wchar_t guid[] = L"0f8fad5b-d9cb-469f-a165-70867728950e";
const char braced_guid[] = "{0f8fad5b-d9cb-469f-a165-70867728950e}";

class AgentInstallerTest : public ::testing::Test {
protected:
    log_capture log_;
    std::string work_ = log_.folder().file("work");
    std::string record_ = log_.folder().file("vesinst-args.txt");
    scoped_env record_env_{"QSW_VESINST_RECORD", record_};
    scoped_env registry_env_{"QSW_REGISTRY_ROOT", log_.folder().file("registry")};
    scoped_env data_env_{"QSW_AGENT_DATA", log_.folder().file("agent-data")};

    void SetUp() override {
        fs::create_directory(work_);
        fs::copy_file(qsw_test::source_dir() + "/demo/agent/Vesinst.sh", installer());
        fs::permissions(installer(), fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    }
    void TearDown() override { free_options(); }

    std::string installer() const { return work_ + "/Vesinst.exe"; }

    // Fills the option slots the way the command line `args` does.
    static void parse(std::vector<const wchar_t*> args) {
        args.insert(args.begin(), L"QuentaSwiftset");
        ASSERT_EQ(parse_command_line(static_cast<int>(args.size()), args.data()), 1);
    }

    std::vector<std::string> received() const { return qsw_test::read_lines(record_); }

    std::string command_line() const {
        std::string last;   // of this test's launches
        for (const auto& m : log_.messages())
            if (m.rfind("Installer command: ", 0) == 0) last = m.substr(19);
        return last;
    }

    std::string fixed_start() const { return "\"" + installer() + "\" /Install=Agent /Silent /VesPkg /EnforceEvents"; }
};

TEST_F(AgentInstallerTest, WithoutOptionsTheLineHoldsTheFixedSwitchesAndTheIdentity) {
    EXPECT_EQ(launch_agent_installer(work_.c_str(), guid, "tenant-7"), 1);
    EXPECT_EQ(command_line(), fixed_start() + " /TenantID=\"tenant-7\" /AgentGUID=\"" + braced_guid + "\"");
    EXPECT_EQ(received(), (std::vector<std::string>{"/Install=Agent", "/Silent", "/VesPkg", "/EnforceEvents",
                                                    "/TenantID=tenant-7", std::string("/AgentGUID=") + braced_guid}));
    EXPECT_TRUE(log_.contains(std::string("Tenant GUID:tenant-7 Agent GUID:") + braced_guid));
    EXPECT_TRUE(log_.contains("Waiting for finishing installation"));
    EXPECT_TRUE(log_.contains("Install Status:Result:1.ExitCode:0"));
    EXPECT_EQ(read_whole_file(
                  log_.folder().file("registry/HKEY_LOCAL_MACHINE/Software/Norvasso/Lumacore/Agent/AgentGUID.REG_SZ")),
              braced_guid)
        << "the installer ran to its end";
}

TEST_F(AgentInstallerTest, EveryOptionInTheFixedOrderWhateverTheCommandLineOrder) {
    std::string data = log_.folder().file("My Agent Data") + "\\";
    std::wstring wide_data = widen(data);
    parse({L"-D", L"-s", L"-i", L"/opt/quenta agent", L"-v", L"-d", wide_data.c_str(), L"-f", L"-h"});
    EXPECT_EQ(launch_agent_installer(work_.c_str(), guid, ""), 1);
    EXPECT_EQ(command_line(), fixed_start() + " /DataDir=\"" + data + "\\\" /InstDir=\"/opt/quenta agent\"" +
                                  " /enableVDIMode /ForceInstall /keepguid /DelayStart /TenantID=\"\" /AgentGUID=\"" +
                                  braced_guid + "\"");
    EXPECT_EQ(received(),
              (std::vector<std::string>{"/Install=Agent", "/Silent", "/VesPkg", "/EnforceEvents", "/DataDir=" + data,
                                        "/InstDir=/opt/quenta agent", "/enableVDIMode", "/ForceInstall", "/keepguid",
                                        "/DelayStart", "/TenantID=", std::string("/AgentGUID=") + braced_guid}))
        << "the trailing backslash arrives as given and the empty tenant as an empty value";
    EXPECT_TRUE(fs::is_directory(data + "/Logs")) << "the installer used the data path";
}

TEST_F(AgentInstallerTest, ForceAndKeepGuidOfHStandTogether) {
    parse({L"-h"});
    EXPECT_EQ(launch_agent_installer(work_.c_str(), guid, "t"), 1);
    EXPECT_EQ(command_line(),
              fixed_start() + " /ForceInstall /keepguid /TenantID=\"t\" /AgentGUID=\"" + braced_guid + "\"");
}

TEST_F(AgentInstallerTest, QuotesAndBackslashesInsideValuesArriveUnchanged) {
    std::string data = log_.folder().file("a\\\"b\" /AgentGUID=\"{evil}");
    set_option(OPT_DATA_PATH, widen(data).c_str());
    set_option(OPT_INSTALL_PATH, L"C:\\Program Files\\Quenta\\\\");
    EXPECT_EQ(launch_agent_installer(work_.c_str(), guid, "ten\"ant"), 1);
    auto args = received();
    ASSERT_EQ(args.size(), 8u);
    EXPECT_EQ(args[4], "/DataDir=" + data);
    EXPECT_EQ(args[5], "/InstDir=C:\\Program Files\\Quenta\\\\");
    EXPECT_EQ(args[6], "/TenantID=ten\"ant");
    EXPECT_EQ(args[7], std::string("/AgentGUID=") + braced_guid);
}

TEST_F(AgentInstallerTest, ExitCodesDecideTheResult) {
    {
        scoped_env fail("QSW_VESINST_EXIT", "3");
        EXPECT_EQ(launch_agent_installer(work_.c_str(), guid, "t"), 0);
        EXPECT_TRUE(log_.contains("Install Status:Result:1.ExitCode:3"));
    }
    fs::permissions(installer(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(launch_agent_installer(work_.c_str(), guid, "t"), 1) << "a program without its x bit is made executable";
    EXPECT_TRUE((fs::status(installer()).permissions() & fs::perms::owner_exec) != fs::perms::none);
    EXPECT_TRUE(log_.contains("Install Status:Result:1.ExitCode:0"));
}

TEST_F(AgentInstallerTest, AProgramThatCannotStartIsReported) {
    fs::remove(installer());
    EXPECT_EQ(launch_agent_installer(work_.c_str(), guid, "t"), 0);
    EXPECT_TRUE(log_.contains("Failed to create process:GetLastError:2"));
    EXPECT_FALSE(log_.contains("Waiting for finishing installation"));

    write_whole_file(installer(), std::string("\x7f"
                                              "ELF garbage",
                                              12));
    EXPECT_EQ(launch_agent_installer(work_.c_str(), guid, "t"), 0);
    EXPECT_TRUE(log_.contains("Failed to create process:GetLastError:8")) << "ENOEXEC";
}

// A path of exactly `length` characters in `folder`, whatever the length of the temporary folder.
std::string path_of_length(const scratch_folder& folder, size_t length, char fill) {
    size_t used = folder.path().size() + 1;
    EXPECT_LT(used, length) << "the temporary folder is too long for this test";
    return folder.file(std::string(length > used ? length - used : 1, fill));
}

TEST_F(AgentInstallerTest, LinesOver1023CharactersAndOversizedValuesAreRefused) {
    scoped_env fail("QSW_VESINST_EXIT", "3");   // quick end: only the received line matters
    std::string deep = path_of_length(log_.folder(), 200, 'w');
    fs::create_directory(deep);
    fs::copy_file(installer(), deep + "/Vesinst.exe");
    std::wstring data = widen(path_of_length(log_.folder(), 250, 'd'));
    std::wstring install = L"/" + std::wstring(250, L'i');
    parse({L"-d", data.c_str(), L"-i", install.c_str(), L"-v", L"-h", L"-D"});

    EXPECT_EQ(launch_agent_installer(deep.c_str(), guid, ""), 0);
    const size_t base = command_line().size();   // the line with an empty tenant
    ASSERT_GE(base, 1023u - 259u) << "a tenant of at most 259 characters must reach the limit";
    ASSERT_LE(base, 1023u);

    fs::remove(record_);
    std::string fits(1023 - base, 't');
    EXPECT_EQ(launch_agent_installer(deep.c_str(), guid, fits.c_str()), 0);
    EXPECT_EQ(command_line().size(), 1023u);
    EXPECT_TRUE(path_exists(record_)) << "a line of exactly 1,023 characters starts the installer";

    fs::remove(record_);
    std::string one_more(1024 - base, 't');
    EXPECT_EQ(launch_agent_installer(deep.c_str(), guid, one_more.c_str()), 0);
    EXPECT_FALSE(path_exists(record_)) << "a line of 1,024 characters is refused";
    EXPECT_TRUE(log_.contains("Installer command line does not fit; the agent installer is not started"));

    std::wstring too_long = L"/" + std::wstring(259, L'x');   // needs 261 with its terminator
    set_option(OPT_DATA_PATH, too_long.c_str());
    EXPECT_EQ(launch_agent_installer(work_.c_str(), guid, "t"), 0);
    EXPECT_FALSE(path_exists(record_)) << "a data path over its capacity is refused, not passed empty";
}
// It runs as root: only a program listed in the trusted manifest with its digest is started.
TEST_F(AgentInstallerTest, OnlyAVerifiedInstallerIsAccepted) {
    std::string digest = sha256_hex(read_whole_file(installer()));
    auto manifest_of = [](const std::string& name, const std::string& digest) {
        auto* entry = new hash_entry{};
        std::snprintf(entry->file_name, sizeof entry->file_name, "%s", name.c_str());
        std::snprintf(entry->digest, sizeof entry->digest, "%s", digest.c_str());
        return hash_entries_ptr(entry);
    };
    EXPECT_EQ(verify_agent_installer(manifest_of("Vesinst.exe", digest).get(), work_.c_str()), 1);
    EXPECT_EQ(verify_agent_installer(manifest_of("agent.dat", digest).get(), work_.c_str()), 0);
    EXPECT_EQ(verify_agent_installer(manifest_of("Vesinst.exe", "").get(), work_.c_str()), 0);
    EXPECT_EQ(verify_agent_installer(nullptr, work_.c_str()), 0);
    write_whole_file(installer(), "#!/bin/sh\ntouch /tmp/owned\n");
    EXPECT_EQ(verify_agent_installer(manifest_of("Vesinst.exe", digest).get(), work_.c_str()), 0);
    EXPECT_TRUE(log_.contains("Vesinst.exe could not be verified; the agent installer is not started"));
}
}   // namespace

// The demonstration's agent installer for the Windows edition (shipped as Vesinst.exe inside
// FrameworkInstall.zip), the counterpart of Vesinst.sh: it "installs" the Quenta Agent the way
// the real one is seen from outside. It records the agent's identity and data path in the
// registry's 32-bit view, where the agent lives, and creates the agent's data folders, among
// them the peer cache data\InstallerFiles that the bootstrap installer fills afterwards.
//
// Environment (inherited from the bootstrap installer):
//   QSW_AGENT_DATA       data folder when no /DataDir= is given (default C:\ProgramData\Quenta\Agent)
//   QSW_VESINST_RECORD   if set, each argument is written to this file, one per line
//   QSW_VESINST_EXIT     exit code to return (default 0)
//   QSW_VESINST_WAIT_MS  milliseconds to run before finishing (default 0), so that a test can
//                        start a second installer while the first one waits for this one
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

#include "os/registry.h"

namespace fs = std::filesystem;

namespace {
const char agent_key[] = "Software\\Norvasso\\Lumacore\\Agent";
const char framework_key[] = "Software\\Norvasso\\Vantor\\Shared Components\\Framework";

std::string environment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

bool starts_with(const std::string& text, const char* prefix, std::string& rest) {
    std::string head(prefix);
    if (text.compare(0, head.size(), head) != 0) return false;
    rest = text.substr(head.size());
    return true;
}

bool make_folders(const fs::path& data) {
    std::error_code error;
    for (const char* sub : {"Installer Files", "Logs", "p2p", "data\\InstallerFiles"}) {
        fs::create_directories(data / sub, error);
        if (error) return false;
    }
    return true;
}

// The agent keeps the proxy settings that the bootstrap saved beside this program.
bool keep_proxy_settings(const char* program, const fs::path& data) {
    fs::path settings = fs::path(program).parent_path() / "proxy_config.ini";
    std::error_code error;
    if (!fs::exists(settings, error)) return true;
    return fs::copy_file(settings, data / "proxy_config.ini", fs::copy_options::overwrite_existing, error);
}
}   // namespace

int main(int argc, char** argv) {
    std::string record = environment("QSW_VESINST_RECORD", "");
    if (!record.empty()) {
        std::ofstream out(record, std::ios::binary);
        for (int i = 1; i < argc; ++i) out << argv[i] << "\n";
    }
    std::string guid, tenant, data = environment("QSW_AGENT_DATA", "C:\\ProgramData\\Quenta\\Agent"), rest;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (starts_with(arg, "/AgentGUID=", rest)) guid = rest;
        else if (starts_with(arg, "/TenantID=", rest)) tenant = rest;
        else if (starts_with(arg, "/DataDir=", rest)) data = rest;
    }
    int wait_ms = std::atoi(environment("QSW_VESINST_WAIT_MS", "0").c_str());
    if (wait_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
    int code = std::atoi(environment("QSW_VESINST_EXIT", "0").c_str());
    if (code != 0) {
        std::fprintf(stderr, "Vesinst: failing on purpose with exit code %d\n", code);
        return code;
    }
    if (guid.empty()) {
        std::fprintf(stderr, "Vesinst: no /AgentGUID= given\n");
        return 2;
    }
    if (!make_folders(data) || !keep_proxy_settings(argv[0], data)) return 3;
    if (!os_registry_write(agent_key, "AgentGUID", OS_REG_SZ, guid) ||
        !os_registry_write(agent_key, "TenantId", OS_REG_SZ, tenant) ||
        !os_registry_write(agent_key, "Data Path", OS_REG_SZ, data) ||
        !os_registry_write(framework_key, "Data Path", OS_REG_SZ, data))
        return 4;
    std::printf("Vesinst: Quenta Agent %s installed for tenant '%s' in %s\n", guid.c_str(), tenant.c_str(),
                data.c_str());
    return 0;
}

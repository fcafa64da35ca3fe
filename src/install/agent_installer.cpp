#include "install/agent_installer.h"

#include <cstring>
#include <string>

#include "config/hash_manifest.h"
#include "core/log.h"
#include "core/options.h"
#include "os/paths.h"
#include "os/process.h"
#include "os/text.h"

namespace {
constexpr size_t command_capacity = 1024;
constexpr size_t value_capacity = 260;
constexpr size_t switch_capacity = 512;

// A value in double quotes that the installer splits back into exactly this value. Backslashes
// in front of a quote (the closing one included) are doubled and an inner quote is escaped:
// "C:\Data\" would swallow every switch after it, and a quote inside a POSIX path would end the
// value early and turn its rest into switches of their own.
std::wstring quoted(const std::wstring& value) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : value) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

enum class option_read { absent, present, too_long };

option_read read_option(int slot, size_t capacity, std::wstring& out) {
    out.clear();
    size_t needed = capacity;
    std::wstring buffer(capacity, L'\0');
    if (!get_option(slot, &buffer[0], &needed)) return option_read::absent;
    if (needed > capacity) return option_read::too_long;
    out.assign(buffer.c_str());
    return option_read::present;
}

// The installer's switches in their fixed order. False when a value does not fit.
bool append_options(std::wstring& line) {
    struct quoted_switch {
        int slot;
        const wchar_t* name;
    };
    for (const quoted_switch& s :
         {quoted_switch{OPT_DATA_PATH, L" /DataDir="}, quoted_switch{OPT_INSTALL_PATH, L" /InstDir="}}) {
        std::wstring value;
        option_read read = read_option(s.slot, value_capacity, value);
        if (read == option_read::too_long) return false;
        if (read == option_read::present) line += s.name + quoted(value);
    }
    for (int slot : {OPT_VDI_MODE, OPT_FORCE_INSTALL, OPT_KEEP_GUID, OPT_DELAY_START}) {
        std::wstring text;
        option_read read = read_option(slot, switch_capacity, text);
        if (read == option_read::too_long) return false;
        if (read == option_read::present) line += text;
    }
    return true;
}

bool build_command_line(const char* work_folder, const wchar_t* agent_guid, const char* tenant_id, std::wstring& line) {
    std::wstring folder;
    if (!os_to_wide(std::string(work_folder), folder) || folder.size() >= value_capacity) return false;
    line = quoted(folder + OS_SEP_S L"Vesinst.exe") + L" /Install=Agent /Silent /VesPkg /EnforceEvents";
    if (line.size() >= switch_capacity || !append_options(line)) return false;

    std::wstring tenant;
    if (std::strlen(tenant_id) + 1 > value_capacity || !os_to_wide(std::string(tenant_id), tenant)) tenant.clear();
    std::wstring guid = L"{" + std::wstring(agent_guid) + L"}";
    log_message(SEV_INFO, L"Tenant GUID:%ls Agent GUID:%ls", tenant.c_str(), guid.c_str());
    line += L" /TenantID=" + quoted(tenant) + L" /AgentGUID=" + quoted(guid);
    return line.size() < command_capacity;
}
}   // namespace

int verify_agent_installer(const hash_entry* manifest, const char* work_folder) {
    std::wstring folder, name;
    bool named = work_folder && os_to_wide(std::string(work_folder), folder) &&
                 os_to_wide(std::string(agent_installer_file), name);
    if (!named || !verify_listed_file(manifest, agent_installer_file, (folder + OS_SEP_S + name).c_str())) {
        log_message(SEV_ERROR, L"" OS_NARROW_S L" could not be verified; the agent installer is not started",
                    agent_installer_file);
        return 0;
    }
    return 1;
}

int launch_agent_installer(const char* work_folder, const wchar_t* agent_guid, const char* tenant_id,
                           os_named_lock* instance_lock) {
    if (!work_folder || !agent_guid || !tenant_id) return 0;
    std::wstring line;
    if (!build_command_line(work_folder, agent_guid, tenant_id, line)) {
        log_message(SEV_INFO, L"Installer command line does not fit; the agent installer is not started");
        return 0;
    }
    log_message(SEV_INFO, L"Installer command: %ls", line.c_str());
    int start_error = 0;
    os_process* installer = os_start_process(line, &start_error, instance_lock);
    if (!installer) {
        log_message(SEV_INFO, L"Failed to create process:GetLastError:%d", start_error);
        return 0;
    }
    log_message(SEV_INFO, L"Waiting for finishing installation");
    os_exit exit = os_wait_process(installer);
    log_message(SEV_INFO, L"Install Status:Result:%d.ExitCode:%d", exit.read ? 1 : 0, exit.code);
    return exit.read && exit.code == 0 ? 1 : 0;
}

// English texts of the message catalogue: the language of every locale without a table of
// its own, and the only one that holds message 53.

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Starting installation ",
    /* 1 */ L"Initializing QuentaSwiftset installer",
    /* 2 */ L"Fetching the QuentaSwiftset connection data",
    /* 3 */ L"Making the QuentaSwiftset connection url",
    /* 4 */ L"Generating configuration parameters",
    /* 5 */ L"Downloading configuration file from %ls",
    /* 6 */ L"Verifying configuration file",
    /* 7 */ L"Decompressing configuration file",
    /* 8 */ L"Downloading install file from repositories",
    /* 9 */ L"Verifying agent install file %ls",
    /* 10 */ L"Decompressing agent installer binaries",
    /* 11 */ L"Installing agent.This may take a while...",
    /* 12 */ L"Cleaning up after installation",
    /* 13 */
    L"Quenta Agent Installation finished. Further security products will be installed "
    L"based on policies managed by your organization.",
    /* 14 */ L"Aborting operations. This may take a while...",
    /* 15 */ L"QuentaSwiftset initialization failed",
    /* 16 */ L"Fetching of QuentaSwiftset name failed",
    /* 17 */ L"Error in finding a url to download agent configuration data",
    /* 18 */ L"FQDN name could not retrieved",
    /* 19 */ L"Agent guid generation failed",
    /* 20 */ L"Generating url to fetch configuration data",
    /* 21 */ L"Url genearation to fetch config data failed",
    /* 22 */ L"Could not download config file",
    /* 23 */ L"Verifying configuration file failed",
    /* 24 */ L"Decompressing configuration file failed",
    /* 25 */ L"Could not download install file",
    /* 26 */ L"Verifying agent install file %ls failed",
    /* 27 */ L"Decompressing install file failed",
    /* 28 */ L"Agent installation was not successful",
    /* 29 */ L"Clean up is not complete",
    /* 30 */ L"Error occurred during agent QuentaSwiftset operations",
    /* 31 */ L"Request might be sent with invalid or expired token code:Response: %ls",
    /* 32 */ L"Use count associated with this QuentaSwiftset might be over:Response: %ls",
    /* 33 */ L"Configuration request response code: %ls",
    /* 34 */ L"Quenta Swiftset help",
    /* 35 */
    L"\n"
    L"Options:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <DataPath>\t\t\t\n"
    L"QuentaSwiftset.exe -i <InstallPath>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Debug log>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Proxy address>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Proxy port>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Proxy username>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Proxy password>\t\t\t\n"
    L"QuentaSwiftset.exe -k <Disable HTTPS peer verification>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Silent installation>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Make the agent aware of a VDI environment>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Force installation option for agent deployment>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Force installation with keepGUID option for agent "
    L"deployment>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Help>",
    /* 36 */
    L"\n"
    L"Options:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <DataPath>\t\t\t\n"
    L"QuentaSwiftset.sh -i <InstallPath>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Debug log>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Proxy address>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Proxy port>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Proxy username>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Proxy password>\t\t\t\n"
    L"QuentaSwiftset.sh -k <Disable HTTPS peer verification>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Help>",
    /* 37 */ L"Invalid GUID passed through commandline\n",
    /* 38 */ L"Trying to download installation files from Peers",
    /* 39 */ L"Trying to download files directly from Lumacore",
    /* 40 */ L"Unable to download files via Proxy. Using Relay",
    /* 41 */ L"Unable to download files directly from Lumacore. Using Proxy",
    /* 42 */ L"Unable to download files via relay. Downloading files failed",
    /* 43 */ L"This program needs root privileges to install. Installer cannot continue",
    /* 44 */ L"Another instance might be running. Please wait.",
    /* 45 */ L"Agent upgrade was not successful",
    /* 46 */ L"OK",
    /* 47 */ L"Ca&ncel",
    /* 48 */ L"Connection data file does not exist",
    /* 49 */
    L"Usage:- ./QuentaSwiftset.sh <options>\n"
    L"Run ./QuentaSwiftset.sh -? for the list of options.",
    /* 50 */ L"Cancel",
    /* 51 */ L"Next",
    /* 52 */ L"Click on Next to continue with installation",
    /* 53 */ L"OS not supported",
};
static_assert(sizeof texts / sizeof texts[0] == 54, "English holds ids 0-53");
}   // namespace

const message_table catalogue_english = {texts, sizeof texts / sizeof texts[0]};

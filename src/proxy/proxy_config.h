// proxy_config.ini: the command-line proxy settings saved in the work folder for the agent.
#pragma once

// Writes the file when a proxy was given on the command line; otherwise does nothing.
void write_proxy_config_file(const char* work_folder);

// proxy_config.ini: the command-line proxy settings saved in the work folder for the agent.
#pragma once

#include <cstddef>

// Writes "<work folder>//proxy_config.ini" when a proxy address and port were given on the
// command line (options -a and -p); otherwise does nothing:
//   [ProxyInfo]
//   Server=<-a>
//   Port=<-p>
//   UserName=<-u>        only with -u
//   Password=<scrambled -w>   only with -w: every byte plus 10 (mod 256), in base64
// A value of more than 259 bytes is written empty. Reports the opening on standard output.
void write_proxy_config_file(const char* work_folder);

// Standard base64 ("A"-"Z", "a"-"z", "0"-"9", "+", "/", "=" padding, no line breaks) of
// `length` bytes. Returns the length of the whole encoding; writes it, with a terminator when
// there is room for one, only when it fits in `capacity` characters (else `out` is untouched).
size_t base64_encode(const unsigned char* data, size_t length, char* out, size_t capacity);

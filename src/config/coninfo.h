// Readers of the ConInfo document (the per-deployment connection data): element texts, the
// configuration URLs with their token, and the CA bundle for the HTTP layer.
#pragma once

#include <cstddef>

constexpr size_t url_capacity = 1024;
constexpr size_t token_capacity = 260;
constexpr size_t certificate_capacity = 5000;

// Text of the `*index`-th element named `element` anywhere in the document at `path`.
// Count mode (out null): stores the number of such elements in `*index`. A document without the
// element returns 1 and leaves `out` and `*index` untouched. 0 when the file cannot be opened or
// does not parse.
int read_xml_element_text(const wchar_t* path, const wchar_t* element, wchar_t* out, size_t capacity, int* index);

// Splits the first `element`'s URL: `base` (capacity 1024) gets the text before the first '?',
// `token` (capacity 260) the text after the first '='. 1 only when both were found.
int read_coninfo_url(const wchar_t* path, const wchar_t* element, wchar_t* base, wchar_t* token);

// Writes the document's certificates as PEM to "<folder>/cabundle.cer" and puts that path in
// `ca_path` (260 bytes, cleared by the caller). No certificates: nothing written.
void write_ca_bundle(const wchar_t* folder, char* ca_path);

// A Mini-XML tree loaded from a file with every text kept as one opaque node, released on scope
// exit. Shared by the readers of the server's documents.
#pragma once

#include <mxml.h>
#include <string>

class xml_document {
public:
    // Loads `narrow_path`; ok() tells whether it opened and parsed.
    explicit xml_document(const std::string& narrow_path);
    ~xml_document();
    xml_document(const xml_document&) = delete;
    xml_document& operator=(const xml_document&) = delete;

    bool ok() const { return tree_ != nullptr; }
    mxml_node_t* root() const { return tree_; }

    // First element named `name` below the root (descending search), or null.
    mxml_node_t* find(const char* name) const;

private:
    mxml_node_t* tree_ = nullptr;
};

// The text of `element` when its first child is an opaque node; empty otherwise.
std::string xml_element_text(mxml_node_t* element);

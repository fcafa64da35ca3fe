#include "config/xml_document.h"

#include <cstdio>

#include "utils/file_ptr.h"

namespace {
mxml_type_t everything_opaque(mxml_node_t*) { return MXML_OPAQUE; }
}   // namespace

xml_document::xml_document(const std::string& narrow_path) {
    file_ptr file(std::fopen(narrow_path.c_str(), "r"));
    if (!file) return;
    tree_ = mxmlLoadFile(nullptr, file.get(), everything_opaque);
}

xml_document::~xml_document() {
    if (tree_) mxmlDelete(tree_);
}

mxml_node_t* xml_document::find(const char* name) const {
    if (!tree_) return nullptr;
    return mxmlFindElement(tree_, tree_, name, nullptr, nullptr, MXML_DESCEND);
}

std::string xml_element_text(mxml_node_t* element) {
    mxml_node_t* child = element ? mxmlGetFirstChild(element) : nullptr;
    if (!child || mxmlGetType(child) != MXML_OPAQUE) return {};
    const char* text = mxmlGetOpaque(child);
    return text ? text : "";
}

#pragma once

#include "base/nx_xml_client.h"

#include <string>

namespace nxkit {

// An XML document held as one text and tied to a file. The text is kept exactly as stored
// (Windows-1251), so the byte offsets a parse reports can be used to edit it; everything that
// crosses the interface (source and template strings, names and values given to clients,
// replacement elements) is UTF-8.
class nx_inixml {
public:
    static constexpr const char* default_template = "<ini>\r\n</ini>\r\n";

    // from_file false: `source` is the document itself. from_file true: `source` names the
    // file (empty: exe_path() + ".ini"; a bare name: in exe_dir()); a missing or empty file
    // is created holding `template_text`. Throws nx_exception when the file cannot be
    // opened, created or read.
    explicit nx_inixml(const std::string& source, bool from_file = false,
                       const std::string& template_text = default_template);

    // The document as stored (Windows-1251 bytes).
    const std::string& text() const { return text_; }
    // The file it was read from and is saved to; empty for a document built from a string.
    const std::string& path() const { return path_; }

    // Parses the whole text and calls `client` for the elements whose path starts with
    // `filter_path`. False on failure, with the message in error(). Never changes the text.
    bool parse(const std::string& filter_path, nx_xml_client& client);
    // The message of the last failed parse.
    const std::string& error() const { return error_; }

    // Replaces the element at `element_path` (and the line break after it) by `xml`, or
    // appends `xml` as the last child of its parent, then saves the file. Throws nx_exception
    // when there is no place for it (nothing changes then) or when saving fails.
    void set_element(const std::string& element_path, const std::string& xml);

private:
    void open_file(const std::string& template_text);

    std::string text_;
    std::string path_;
    std::string error_;
};

} // namespace nxkit

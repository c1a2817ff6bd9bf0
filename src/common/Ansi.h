#pragma once
// The one place that knows code pages. Files, plugin buffers, catalogue tables and settings hold bytes in
// Windows-1251 ("ANSI"); the zip component's OEM names are code page 866. Everything else works with these
// bytes as std::string and converts only at the edge of a widget.
#include <QString>
#include <string>

namespace quorrel {

QString fromAnsi(const std::string& bytes);
std::string toAnsi(const QString& text);
// UTF-8 source literal -> ANSI bytes, for the system's own Russian texts that are stored as bytes.
std::string ansi(const char* utf8);
// OEM (code page 866) bytes -> ANSI (Windows-1251) bytes; characters without an ANSI form become '?'.
std::string oemToAnsi(const std::string& bytes);

}  // namespace quorrel

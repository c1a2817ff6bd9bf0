#include "FolderListing.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <ctime>

namespace cable {

namespace {

std::string attribute(xmlNode* node, const char* name) {
  xmlChar* v = xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
  if (!v) return std::string();
  std::string s(reinterpret_cast<const char*>(v));
  xmlFree(v);
  return s;
}

bool is(xmlNode* node, const char* name) { return std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0; }

bool usableName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.size() > 1024) return false;
  for (const char c : name) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32) return false;
  }
  return true;
}

std::uint64_t sizeOf(const std::string& text) {
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoull(text);
}

// "20240131T235959Z" or without the Z (local time of the phone, taken as UTC here).
std::int64_t timeOf(const std::string& text) {
  if (text.size() < 15 || text[8] != 'T') return 0;
  for (std::size_t i = 0; i < 15; ++i) {
    if (i != 8 && (text[i] < '0' || text[i] > '9')) return 0;
  }
  auto num = [&](std::size_t at, std::size_t n) { return std::stoi(text.substr(at, n)); };
  std::tm t{};
  t.tm_year = num(0, 4) - 1900;
  t.tm_mon = num(4, 2) - 1;
  t.tm_mday = num(6, 2);
  t.tm_hour = num(9, 2);
  t.tm_min = num(11, 2);
  t.tm_sec = num(13, 2);
  if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 || t.tm_min > 59 ||
      t.tm_sec > 60 || t.tm_year < 70)
    return 0;
  return static_cast<std::int64_t>(timegm(&t));
}

}  // namespace

std::optional<std::vector<ListingEntry>> parseFolderListing(const std::string& xml) {
  if (xml.empty() || xml.size() > (64u << 20)) return std::nullopt;
  // No network, no external DTD, no entity substitution: the listing's DOCTYPE names a DTD that is not read.
  xmlDoc* doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "folder-listing.xml", nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA);
  if (!doc) return std::nullopt;
  std::optional<std::vector<ListingEntry>> result;
  xmlNode* root = xmlDocGetRootElement(doc);
  if (root && is(root, "folder-listing")) {
    result.emplace();
    for (xmlNode* n = root->children; n; n = n->next) {
      if (n->type != XML_ELEMENT_NODE) continue;
      const bool folder = is(n, "folder");
      if (!folder && !is(n, "file")) continue;
      ListingEntry e;
      e.name = attribute(n, "name");
      if (!usableName(e.name)) continue;
      e.folder = folder;
      e.size = folder ? 0 : sizeOf(attribute(n, "size"));
      e.modified = timeOf(attribute(n, "modified"));
      result->push_back(std::move(e));
    }
  }
  xmlFreeDoc(doc);
  return result;
}

}  // namespace cable

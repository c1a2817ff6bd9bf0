#pragma once
// The settings file Quorrel.ini: a positional text file of CR LF lines in Windows-1251. Four section headers,
// each followed by its value lines in a fixed order; no keys, no quoting. This unit knows how the lines are
// read and written; which value goes where is decided by Settings and the settings dialog.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorrel {

inline constexpr const char* SettingsFileName = "Quorrel.ini";
inline constexpr const char* UpdateServerHeader = "[Update Server]";
inline constexpr const char* ProxySettingsHeader = "[Proxy Settings]";
inline constexpr const char* ConnectionHeader = "[Connection]";
inline constexpr const char* InterfaceHeader = "[Interface]";

// A flag line counts as off only when it is exactly "0"; anything else (a word, an empty line, " 0") is on.
inline bool flagOn(const std::string& line) { return line != "0"; }

// Whether the line is one of the four section headers.
bool isSettingsHeader(const std::string& line);

// The file's lines, each without its line end (LF, or CR LF). A UTF-8 byte-order mark that an editor put in
// front of the first line is not part of that line; `byteOrderMark`, when given, tells whether there was one.
std::vector<std::string> splitSettingsLines(const std::string& bytes, bool* byteOrderMark = nullptr);

// Converts a whole text to a signed 32-bit decimal integer, leading blanks and a sign allowed. Anything else
// throws "'<text>' is not a valid integer value".
std::int32_t toInteger(const std::string& text);

// Reads the settings file line by line. A value line past the end of the file reads as empty text, or as 0
// where a number is read; that is not an error.
class SettingsReader {
 public:
  // Reads the whole file; throws the I/O error ("File not found", ...) when it cannot.
  explicit SettingsReader(const std::string& path);
  // Reads lines already split (see splitSettingsLines).
  explicit SettingsReader(std::vector<std::string> lines) : lines_(std::move(lines)) {}

  // Reads on until the last line read is the header (exact, whole line). When the file ends first, the
  // reader goes back to where the search began and returns false, so later sections can still be found.
  bool findSection(const std::string& header);
  // The next line, without its line end.
  std::string readLine();
  // The next line read as a number: leading blanks skipped, then a decimal integer ended by a blank or the
  // line end; the rest of the line is passed over. Throws "Invalid numeric input" when the line holds no
  // number (an empty line included).
  std::int32_t readNumber();
  // The next line converted whole with toInteger.
  std::int32_t readInteger();
  // As readLine and readInteger, for the proxy section, whose length varies (a file written with the proxy
  // off may end it after the flag): a header line ends the section there and is left for findSection, so no
  // line of another section is ever taken for a value. Then the line gives none, the number 0. Past the end
  // of the file they read as readLine and readInteger do.
  std::optional<std::string> readSectionLine();
  std::int32_t readSectionInteger();
  // How many lines have been read (the index of the next one).
  std::size_t linesRead() const { return next_; }

 private:
  bool pastEnd() const { return next_ >= lines_.size(); }
  bool atHeader() const { return !pastEnd() && isSettingsHeader(lines_[next_]); }

  std::vector<std::string> lines_;
  std::size_t next_ = 0;
  std::string last_;  // the last line read
};

// The 19 lines the writer produces, in the form they are written.
struct SettingsLines {
  std::string updateServer;
  std::uint8_t updateMode = 0;
  bool updateFolderPictures = false;
  bool useProxy = false;
  std::string proxyHost;
  std::string proxyPort;
  std::string proxyUserName;
  std::string proxyPassword;
  std::string comPort;
  std::string comSpeed;
  bool autoCompileJava = true;
  bool manualSort = false;
};

// Lines of the written file by their number, 1 to 19 (index 0 unused).
using SettingsFileLines = std::array<std::optional<std::string>, 20>;

// The whole file: 19 lines, each ended by CR LF, nothing after the last one. A line break inside a value
// becomes a blank, since it would shift every later value of the positional file. A line present in `kept`
// is written as it stands there instead of from `lines`.
std::string formatSettings(const SettingsLines& lines, const SettingsFileLines& kept = {});
// Each of the 19 lines as formatSettings writes it from `lines`.
SettingsFileLines settingsLineTexts(const SettingsLines& lines);

// Where the value lines of a settings file stand, found as the readers find them (each section by its
// header, its values by position after it), whether or not they would read as valid values.
struct SettingsLayout {
  SettingsFileLines values;    // by the number the line has in the written file; a missing section gives none
  std::string missingHeader;   // the first of the four headers that is not in the file, if any
  bool strayLines = false;     // a non-empty line that is neither a header found nor a value line of one
  bool byteOrderMark = false;  // the file starts with a UTF-8 byte-order mark
};
SettingsLayout locateSettingsLines(const std::string& bytes);

// Whether rewriting the file from the values read would drop what the file holds besides them, so that the
// old file must be kept beside the new one: lines that stand in no section while a section is missing (they
// may be its values under a damaged header), or a byte-order mark (the editor that put it there may have
// changed more than that).
bool rewriteDropsFileContent(const SettingsLayout& layout);

// Replaces the file with `bytes` without ever leaving it half written: a new file (readable by its owner
// only, since it holds the proxy password) is written beside it and renamed over it. A file that exists but
// may not be written is refused with "File access denied" and left as it is. Throws the I/O error on failure,
// with the old file whole. Only when the folder takes no new file but the file itself is writable is the file
// rewritten in place, as the one way left to save there.
void writeSettingsFile(const std::string& path, const std::string& bytes);

}  // namespace quorrel

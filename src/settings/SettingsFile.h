#pragma once
// The settings file Quorrel.ini: a positional text file of CR LF lines in Windows-1251. Four section headers,
// each followed by its value lines in a fixed order; no keys, no quoting. This unit knows how the lines are
// read and written, and (SettingsFile) which line holds what when the settings dialog reads and saves them;
// the start-up read is Settings' own.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorrel {

class MessageLog;
class Settings;

inline constexpr const char* SettingsFileName = "Quorrel.ini";
inline constexpr const char* UpdateServerHeader = "[Update Server]";
inline constexpr const char* ProxySettingsHeader = "[Proxy Settings]";
inline constexpr const char* ConnectionHeader = "[Connection]";
inline constexpr const char* InterfaceHeader = "[Interface]";

// The lines of the written file by their number: a header, its value lines, an empty line, the next header.
enum SettingsLine : std::size_t {
  UpdateServerHeaderLine = 1,
  UpdateServerLine = 2,
  UpdateModeLine = 3,
  FolderPicturesLine = 4,
  UpdateServerEndLine = 5,
  ProxyHeaderLine = 6,
  UseProxyLine = 7,
  ProxyHostLine = 8,
  ProxyPortLine = 9,
  ProxyUserNameLine = 10,
  ProxyPasswordLine = 11,
  ProxySettingsEndLine = 12,
  ConnectionHeaderLine = 13,
  ComPortLine = 14,
  ComSpeedLine = 15,
  AutoCompileJavaLine = 16,
  ConnectionEndLine = 17,
  InterfaceHeaderLine = 18,
  SortModeLine = 19,
  SettingsLineCount = 19,
};

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

// What the settings dialog's controls hold, in the file's bytes.
struct SettingsFormValues {
  std::string updateServer;
  bool updateFolderPictures = false;
  bool useProxy = false;
  std::string proxyHost;
  std::string proxyPort;
  std::string proxyUserName;
  std::string proxyPassword;
  std::string comPort;
  std::string comSpeed;
};

// The 19 lines the writer produces, in the form they are written: the form's values and the three values in force
// that the dialog has no control for.
struct SettingsLines : SettingsFormValues {
  std::uint8_t updateMode = 0;
  bool autoCompileJava = true;
  bool manualSort = false;
};

// Lines of the written file by their number, 1 to 19 (index 0 unused).
using SettingsFileLines = std::array<std::optional<std::string>, SettingsLineCount + 1>;

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

// What the dialog's read found, value by value: a value the read did not reach (its section is missing, or
// the read stopped at a bad number before it) has none. The proxy's four details come with its flag.
struct SettingsFileRead {
  std::optional<std::string> updateServer;
  std::optional<std::uint8_t> updateMode;  // as read; 1 to 3 choose a mode, anything else none
  std::optional<bool> updateFolderPictures;
  std::optional<bool> useProxy;
  std::string proxyHost;
  std::string proxyPort;
  std::string proxyUserName;
  std::string proxyPassword;
  std::optional<std::string> comPort;
  std::optional<std::string> comSpeed;
};

// The settings dialog as its file sees it: it shows what a read found and gives back what its controls hold.
class SettingsForm {
 public:
  virtual ~SettingsForm() = default;
  // Shows the values a read found (and puts those the controls stand for into the values in force).
  virtual void fill(const SettingsFileRead& read) = 0;
  virtual SettingsFormValues values() const = 0;
};

// Quorrel.ini in the working folder as the settings dialog reads and saves it. The update mode, the automatic
// compilation and the sort mode are saved from the values in force; the rest from the form.
class SettingsFile {
 public:
  // `settings`, `log` and `form` must outlive this object. A save that keeps the old file beside the new
  // one says so in `log`.
  SettingsFile(Settings& settings, MessageLog& log, SettingsForm& form) : settings_(settings), log_(log), form_(form) {}

  // Reads the file into the form, and the automatic compilation into the values in force. Throws the
  // file's or a number's error after the form has shown what was read before it.
  void load();
  // Checks the values, rewrites the file and applies the values in force. Throws, with nothing written or
  // applied, when a value or the file refuses.
  // After a read that stopped early, every line the read did not take in is written back as it stood in the
  // file unless the user has changed its value since. A file that cannot be patched so (a section not found
  // while some lines stand in none, a byte-order mark, a header where a value belongs, a line holding a CR)
  // is written whole from the values in force, after the file as it stands is kept beside it as
  // Quorrel.ini.bak; the log says so, and a backup that cannot be written refuses the save.
  void save();

 private:
  // Reads what it can into `read`; throws where the read stops.
  void readInto(SettingsFileRead& read);
  // The 19 lines as the form and the values in force would write them now.
  SettingsLines currentLines() const;
  // Keeps the settings file as it stands now as Quorrel.ini.bak; nothing to keep when it is gone.
  // Returns whether a backup was written.
  bool backUp() const;

  Settings& settings_;
  MessageLog& log_;
  SettingsForm& form_;
  // Lines of the file the last read did not take in, by line number, as they stood there.
  SettingsFileLines unread_;
  // What the form held right after the last read: a value that still equals it was not changed since.
  SettingsFileLines afterRead_;
  // The file last read holds what a rewrite drops: the next save keeps the old file as Quorrel.ini.bak.
  bool backupDue_ = false;
};

}  // namespace quorrel

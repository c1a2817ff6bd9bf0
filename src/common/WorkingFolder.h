#pragma once
// The layout of the working folder below "Base": where games, screenshots, the folders' pictures and the news
// live. Every name is relative to the working folder, with "/" between folders and a trailing "/" on a
// folder, as the update server's tree has them; localPath() and diskName() make names on disk of them.

namespace quorrel::workfolder {

// The folder everything below lives in.
constexpr const char* Base = "Base/";
// The games: a .jad and a .jar for each catalogue `file`.
constexpr const char* Games = "Base/games/";
// The screenshots, by the catalogue's `screen` names.
constexpr const char* Screenshots = "Base/screen/";
// The pictures of the catalogue's folders and their list.
constexpr const char* FolderPictures = "Base/dir/";

// The server's news and the picture shown beside them.
constexpr const char* News = "Base/news.new";
constexpr const char* NewsPicture = "Base/dir/news.gif";
// The list of the folders' pictures on the server.
constexpr const char* FolderPictureList = "Base/dir/dir.lst";
// Shown for a folder without a picture of its own, and for a game without a screenshot.
constexpr const char* FolderPictureTemplate = "Base/dir/template.gif";
constexpr const char* NoScreenshot = "Base/screen/noscr.gif";

}  // namespace quorrel::workfolder

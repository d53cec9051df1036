#pragma once
// Where a project's folders lie in the mail store: one directory per project (named by its
// number), seven fixed folders inside it, and custom folders as numbered directories inside
// the inbox. Folder codes are the numbers of the folder nodes in the project tree.

#include <string>
#include <string_view>

namespace pelmora {

constexpr int kFolderInbox = 111;
constexpr int kFolderInReceipts = 112;
constexpr int kFolderSent = 113;
constexpr int kFolderOutReceipts = 114;
constexpr int kFolderOutbox = 115;
constexpr int kFolderTrash = 116;
constexpr int kFolderDrafts = 117;
constexpr int kFirstCustomFolder = 600;
constexpr int kLastCustomFolder = 900;

// Project numbers: the user's projects and the default projects of accounts.
constexpr int kFirstUserProject = 1000;
constexpr int kLastUserProject = 99999;
constexpr int kFirstDefaultProject = 100000;
constexpr int kLastDefaultProject = 99999999;

bool IsFixedFolderCode(int code);
bool IsCustomFolderCode(int code);

// "inbox", "inreceipts", "sent", "outreceipts", "outbox", "trash", "drafts"; empty for other
// codes.
std::string_view FolderDirectoryName(int code);

// The project directory: store + project + "/".
std::string ProjectDirectory(const std::string& storeDir, int project);
// store + project + "/" + directory + "/"; a custom folder is store + project + "/inbox/" +
// code + "/". Empty for a code that names no folder.
std::string FolderPath(const std::string& storeDir, int project, int code);

// True when `path` names a regular file (a symbolic link is never a message file) whose
// directory is `folder`, both compared after resolving symbolic links; with `nested`, any
// directory below `folder` will do. Commands on the rows of a list check every row's file
// with this before they read, rename, move, copy, overwrite or delete it, so a row that
// points elsewhere (an index copied from another data home, a crafted index, a link to a
// file of the user) never touches a file outside the store.
bool IsFileInFolder(const std::string& path, const std::string& folder, bool nested = false);

// Whether the list of a folder shows the recipients instead of the sender (sent, outbox,
// drafts).
bool FolderShowsRecipients(int code);

// Creates the project directory and its seven folders where missing. False when one of
// them does not exist afterwards.
bool EnsureProjectDirectories(const std::string& storeDir, int project);

} // namespace pelmora

#pragma once
// Reading and building the node texts of the account and project trees. Every node the
// program looks for carries "<XID=" + number + ">"; parameters are anchors (see
// paramtree/markup.h); the two password nodes also carry "<XPWD=" + password + ">".
// Names typed by the user are stored escaped, so a "<" in a name cannot break the mark-up.

#include "paramtree/node_tree.h"

#include <string>
#include <string_view>

namespace pelmora {

// Account-tree codes.
constexpr int kNodeProfile = 101;
constexpr int kNodeServerSettings = 102;
constexpr int kNodeScheduleMail = 103;
constexpr int kNodePOP3Server = 104;
constexpr int kNodePOP3Login = 105;
constexpr int kNodePOP3Password = 106;
constexpr int kNodePOPBeforeSend = 107;
constexpr int kNodeSMTPServer = 108;
constexpr int kNodeLeaveMailOnServer = 109;
constexpr int kNodeHonourReceipts = 110;
constexpr int kNodeSMTPLogin = 111;
constexpr int kNodeSMTPPassword = 112;
constexpr int kNodePOP3Port = 121;
constexpr int kNodePOP3Security = 122;
constexpr int kNodeSMTPPort = 123;
constexpr int kNodeSMTPSecurity = 124;
constexpr int kNodeEmailAddress = 202;
constexpr int kNodeDisplayName = 203;
constexpr int kNodeOrganization = 204;
constexpr int kNodeWebsite = 205;
constexpr int kNodeReplyTo = 206;

// Project-tree codes (the folders are the folder codes of store_layout.h).
constexpr int kNodeProjectName = 100;
constexpr int kNodeProjectAdmin = 101;
constexpr int kNodeRequestReceipts = 102;
constexpr int kNodeTrackingNumbers = 103;
constexpr int kNodeProjectDescription = 104;
constexpr int kNodeProjectSignature = 105;
constexpr int kNodeAddSignature = 106;
constexpr int kNodeProjectWebpage = 107;
constexpr int kNodeStationery = 108;
constexpr int kNodeAddressBook = 110;
constexpr int kNodeTrackingStyle = 201;
constexpr int kNodeEmptyAddressBook = -1;

// The number after the first "<XID=" (trimmed); -1 when there is none or it is no number.
int NodeNumber(std::string_view text);
// The text without mark-up, entities decoded, trimmed.
std::string PlainCaption(std::string_view text);
// The text cut after its first "</font> (" (any case), keeping "</font>", trimmed: removes
// the counts suffix of account and project captions.
std::string CaptionBase(std::string_view text);
// The value of the (last) anchor of a parameter node, trimmed, as stored (escaped).
std::string ParamValue(std::string_view text);
// The password kept in a node's "<XPWD=...>" marker, unescaped and trimmed.
std::string ReadPassword(std::string_view text);
// The text without its first "<XPWD=...>" marker.
std::string RemovePasswordMarker(std::string_view text);
// The marker for a password; ">" and "&" are escaped so any password fits.
std::string PasswordMarker(std::string_view password);
// Replaces the number of the first "<img src="idx:" (any case) by `icon`.
std::string SetNodeIcon(std::string_view text, int icon);

// The node's ancestor at level 0 (the node itself at level 0).
TNode* AccountOf(TNode* node);
bool IsAccountNode(const TNode* node); // level 0, numbered 0 to 99
bool IsProjectNode(const TNode* node); // level 1, numbered 999 to 99999999
// The first node below `root` (depth-first, root excluded) numbered `number`.
TNode* FindBelow(TNode* root, int number);
// The first top-level node / child of `parent` numbered `number`.
TNode* FindTopLevel(const TNodeTree& tree, int number);
TNode* FindChild(TNode* parent, int number);

// Node texts. Names and addresses are given as stored (escaped).
std::string AccountNodeText(std::string_view number, std::string_view displayName,
                            std::string_view address);
std::string ProjectNodeText(int project, std::string_view name, std::string_view colour);
std::string FolderNodeText(int code, int icon, std::string_view caption);
// "<XID=" + code + ">" + label + ": <a href=\"" + name + "\">" + value + "</a>".
std::string ParameterNodeText(int code, std::string_view label, std::string_view name,
                              std::string_view value);

// An address is taken as valid when it contains "@" and ".".
bool LooksLikeAddress(std::string_view address);

// Case-insensitive byte order of two texts: the order the trees are sorted in.
bool TextLess(std::string_view a, std::string_view b);

} // namespace pelmora

#include "store/node_helpers.h"

#include "paramtree/markup.h"
#include "paramtree/text_util.h"

#include <algorithm>
#include <charconv>

namespace pelmora {

int NodeNumber(std::string_view text) {
    return NodeCode(text);
}

std::string PlainCaption(std::string_view text) {
    return Trim(UnescapeParam(StripMarkup(text)));
}

std::string CaptionBase(std::string_view text) {
    size_t pos = FindNoCase(text, "</font> (");
    if (pos == std::string_view::npos)
        return Trim(text);
    return Trim(text.substr(0, pos + 7));
}

std::string ParamValue(std::string_view text) {
    std::string value(text);
    size_t pos;
    while ((pos = value.find("\">")) != std::string::npos)
        value = Trim(std::string_view(value).substr(pos + 2));
    size_t end = value.find("</");
    if (end == std::string::npos)
        return {};
    return Trim(std::string_view(value).substr(0, end));
}

std::string ReadPassword(std::string_view text) {
    size_t pos = text.find("<XPWD=");
    if (pos == std::string_view::npos)
        return {};
    size_t begin = pos + 6;
    size_t end = text.find('>', begin);
    if (end == std::string_view::npos)
        end = text.size();
    return Trim(UnescapeParam(text.substr(begin, end - begin)));
}

std::string RemovePasswordMarker(std::string_view text) {
    std::string out(text);
    size_t pos = out.find("<XPWD=");
    if (pos == std::string::npos)
        return out;
    size_t end = out.find('>', pos);
    out.erase(pos, end == std::string::npos ? std::string::npos : end - pos + 1);
    return out;
}

std::string PasswordMarker(std::string_view password) {
    return "<XPWD=" + EscapeParam(password) + ">";
}

std::string SetNodeIcon(std::string_view text, int icon) {
    constexpr std::string_view key = "<img src=\"idx:";
    size_t pos = FindNoCase(text, key);
    if (pos == std::string_view::npos)
        return std::string(text);
    size_t begin = pos + key.size();
    size_t end = begin;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    std::string out(text);
    out.replace(begin, end - begin, std::to_string(icon));
    return out;
}

TNode* AccountOf(TNode* node) {
    while (node && node->Parent())
        node = node->Parent();
    return node;
}

bool IsAccountNode(const TNode* node) {
    if (!node || node->Parent())
        return false;
    int number = NodeNumber(node->Text());
    return number >= 0 && number < 100;
}

bool IsProjectNode(const TNode* node) {
    if (!node || node->Level() != 1)
        return false;
    int number = NodeNumber(node->Text());
    return number >= 999 && number <= 99999999;
}

TNode* FindBelow(TNode* root, int number) {
    if (!root)
        return nullptr;
    std::vector<TNode*> pending;
    for (int i = root->ChildCount() - 1; i >= 0; --i)
        pending.push_back(root->Child(i));
    while (!pending.empty()) {
        TNode* node = pending.back();
        pending.pop_back();
        if (NodeNumber(node->Text()) == number)
            return node;
        for (int i = node->ChildCount() - 1; i >= 0; --i)
            pending.push_back(node->Child(i));
    }
    return nullptr;
}

TNode* FindTopLevel(const TNodeTree& tree, int number) {
    for (int i = 0; i < tree.TopCount(); ++i) {
        if (NodeNumber(tree.Top(i)->Text()) == number)
            return tree.Top(i);
    }
    return nullptr;
}

TNode* FindChild(TNode* parent, int number) {
    for (int i = 0; parent && i < parent->ChildCount(); ++i) {
        if (NodeNumber(parent->Child(i)->Text()) == number)
            return parent->Child(i);
    }
    return nullptr;
}

std::string AccountNodeText(std::string_view number, std::string_view displayName,
                            std::string_view address) {
    return "<XID=" + std::string(number) + "><IMG src=\"idx:0\"> <b><font color=\"clNavy\">" +
           std::string(displayName) + "</font></b> <font color=\"clBlack\">(" +
           std::string(address) + ")</font> (0/0)";
}

std::string ProjectNodeText(int project, std::string_view name, std::string_view colour) {
    return "<XID=" + std::to_string(project) + "><IMG src=\"idx:3\"> <font color=\"" +
           std::string(colour) + "\"><b>" + std::string(name) + "</b></font> (0/0)";
}

std::string FolderNodeText(int code, int icon, std::string_view caption) {
    return "<XID=" + std::to_string(code) + "><img src=\"idx:" + std::to_string(icon) +
           "\"> <font color=\"clNavy\"><b>" + std::string(caption) + "</b></font> (0/0)";
}

std::string ParameterNodeText(int code, std::string_view label, std::string_view name,
                              std::string_view value) {
    return "<XID=" + std::to_string(code) + ">" + std::string(label) + ": <a href=\"" +
           std::string(name) + "\">" + std::string(value) + "</a>";
}

bool LooksLikeAddress(std::string_view address) {
    return address.find('@') != std::string_view::npos &&
           address.find('.') != std::string_view::npos;
}

bool TextLess(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(AsciiLower(x)) <
               static_cast<unsigned char>(AsciiLower(y));
    });
}

} // namespace pelmora

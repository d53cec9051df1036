#pragma once
// What a parameter tree does when a parameter is clicked, chosen from a menu or committed
// by an in-place editor, without any widget: the view hit-tests the click, calls ClickParam
// and opens the editor the returned request describes; when the user commits, it calls
// CommitMenuChoice or CommitEditorText. Node texts change only through WriteParam here.

#include "paramtree/node_tree.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// The tree's events; any may be empty. `href` is the parameter's name as written.
struct TMarkupTreeEvents {
    // A parameter was clicked; the handler may change the (stored, escaped) value.
    std::function<void(TNode* node, const std::string& href, std::string& value)> OnParamClick;
    // Fill `values` and set `doPopup` to show them as a menu (class other than MENU).
    std::function<void(TNode* node, const std::string& href, std::vector<std::string>& values,
                       bool& doPopup)>
        OnParamPopup;
    // The same for a drop-down list (class other than LIST).
    std::function<void(TNode* node, const std::string& href, std::vector<std::string>& values,
                       bool& doPopup)>
        OnParamList;
    // An editor or menu is about to open; the handler may change its starting value.
    std::function<void(TNode* node, const std::string& href, std::string& value)> OnParamPrepare;
    // A value was chosen or committed, before it is written.
    std::function<void(TNode* node, const std::string& href, const std::string& value)>
        OnParamSelect;
    // A value was changed.
    std::function<void(TNode* node, const std::string& href, const std::string& oldValue,
                       const std::string& newValue)>
        OnParamChanged;
};

enum class TParamEditorKind { Menu, Date, Spin, Edit, List };

// An in-place editor the view is asked to open at the clicked parameter.
struct TParamEditorRequest {
    TParamEditorKind Kind = TParamEditorKind::Edit;
    std::string Href;
    std::string Value;                // plain text the editor starts with
    std::vector<std::string> Entries; // Menu and List entries, in display order
    int SelectedEntry = -1;           // List: the entry equal to the current value
    std::optional<int> SpinValue;     // Spin: the value as an integer; empty when it does not
                                      // read as one (the editor then starts at 0)
};

// Runs the click on parameter `href` of `node`: the click handler (writing its value back),
// then the editors in the order menu, date, spin, edit, list. Usually one request comes
// back; more only when event handlers ask for several. None for a node without the anchor.
std::vector<TParamEditorRequest> ClickParam(TNodeTree& tree, TNode* node, const std::string& href,
                                            const TMarkupTreeEvents& events,
                                            bool listSorted = false);

// A menu entry was chosen: its caption without "&" is the new value, escaped for storage.
// False when the parameter cannot be read (the node is then left alone).
bool CommitMenuChoice(TNodeTree& tree, TNode* node, const std::string& href,
                      const std::string& caption, const TMarkupTreeEvents& events);

// An editor committed `text` (plain); it is stored escaped. False as above.
bool CommitEditorText(TNodeTree& tree, TNode* node, const std::string& href,
                      const std::string& text, const TMarkupTreeEvents& events);

} // namespace pelmora

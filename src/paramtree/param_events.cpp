#include "paramtree/param_events.h"

#include "paramtree/markup.h"
#include "paramtree/text_util.h"

#include <algorithm>
#include <charconv>

namespace pelmora {

namespace {


// Builds a menu or list from props (own class) or from the event handler.
bool CollectEntries(TNode* node, const std::string& href, const TParamDetails& details,
                    bool ownClass,
                    const std::function<void(TNode*, const std::string&, std::vector<std::string>&,
                                             bool&)>& handler,
                    bool listSorted, std::vector<std::string>& entries) {
    bool doPopup = false;
    if (ownClass) {
        entries = SplitProps(details.Props);
        doPopup = true;
    } else if (handler) {
        handler(node, href, entries, doPopup);
    }
    if (listSorted)
        std::stable_sort(entries.begin(), entries.end());
    return doPopup;
}

bool Commit(TNodeTree& tree, TNode* node, const std::string& href, const std::string& value,
            const TMarkupTreeEvents& events) {
    if (!node)
        return false;
    auto old = ReadParam(node->Text(), href);
    if (!old)
        return false;
    if (events.OnParamSelect)
        events.OnParamSelect(node, href, value);
    std::string text = node->Text();
    if (!WriteParam(text, href, value))
        return false;
    tree.SetText(node, std::move(text));
    if (*old != value && events.OnParamChanged)
        events.OnParamChanged(node, href, *old, value);
    return true;
}

} // namespace

std::vector<TParamEditorRequest> ClickParam(TNodeTree& tree, TNode* node, const std::string& href,
                                            const TMarkupTreeEvents& events, bool listSorted) {
    std::vector<TParamEditorRequest> requests;
    if (!node)
        return requests;
    auto details = ParamDetails(node->Text(), href);
    if (!details)
        return requests;

    if (events.OnParamClick) {
        auto old = ReadParam(node->Text(), href);
        if (old) {
            std::string value = *old;
            events.OnParamClick(node, href, value);
            if (value != *old) {
                std::string text = node->Text();
                if (WriteParam(text, href, value)) {
                    if (events.OnParamChanged)
                        events.OnParamChanged(node, href, *old, value);
                    tree.SetText(node, std::move(text));
                }
            }
        }
        // The handler may have rewritten the node; editors start from what it holds now.
        if (auto fresh = ParamDetails(node->Text(), href))
            details = fresh;
        else
            return requests;
    }

    auto prepare = [&](TParamEditorRequest& request) {
        if (events.OnParamPrepare)
            events.OnParamPrepare(node, href, request.Value);
    };
    const std::string plainValue = UnescapeParam(details->Value);

    if (events.OnParamPopup || details->Class == "MENU") {
        TParamEditorRequest request;
        request.Kind = TParamEditorKind::Menu;
        request.Href = href;
        request.Value = plainValue;
        if (CollectEntries(node, href, *details, details->Class == "MENU", events.OnParamPopup,
                           listSorted, request.Entries)) {
            prepare(request);
            requests.push_back(std::move(request));
        }
    }
    if (details->Class == "DATE" || details->Class == "SPIN" || details->Class == "EDIT") {
        TParamEditorRequest request;
        request.Kind = details->Class == "DATE"   ? TParamEditorKind::Date
                       : details->Class == "SPIN" ? TParamEditorKind::Spin
                                                  : TParamEditorKind::Edit;
        request.Href = href;
        request.Value = plainValue;
        prepare(request);
        if (request.Kind == TParamEditorKind::Spin)
            request.SpinValue = WholeNumber(TrimView(request.Value));
        requests.push_back(std::move(request));
    }
    if (events.OnParamList || details->Class == "LIST") {
        TParamEditorRequest request;
        request.Kind = TParamEditorKind::List;
        request.Href = href;
        request.Value = plainValue;
        if (CollectEntries(node, href, *details, details->Class == "LIST", events.OnParamList,
                           listSorted, request.Entries)) {
            prepare(request);
            auto it = std::find(request.Entries.begin(), request.Entries.end(), request.Value);
            if (it != request.Entries.end())
                request.SelectedEntry = static_cast<int>(it - request.Entries.begin());
            requests.push_back(std::move(request));
        }
    }
    return requests;
}

bool CommitMenuChoice(TNodeTree& tree, TNode* node, const std::string& href,
                      const std::string& caption, const TMarkupTreeEvents& events) {
    std::string plain;
    for (char c : caption) {
        if (c != '&')
            plain += c;
    }
    return Commit(tree, node, href, EscapeParam(plain), events);
}

bool CommitEditorText(TNodeTree& tree, TNode* node, const std::string& href,
                      const std::string& text, const TMarkupTreeEvents& events) {
    return Commit(tree, node, href, EscapeParam(text), events);
}

} // namespace pelmora

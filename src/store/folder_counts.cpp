#include "store/folder_counts.h"

#include "paramtree/node_tree.h"
#include "shell/shell_state.h"
#include "store/custom_folders.h"
#include "store/folder_listing.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/workspace.h"

#include <charconv>

namespace pelmora {
namespace {

size_t FindNoCase(std::string_view text, std::string_view what) {
    if (what.size() > text.size())
        return std::string_view::npos;
    for (size_t i = 0; i + what.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < what.size() && (text[i + k] | 0x20) == (what[k] | 0x20))
            ++k;
        if (k == what.size())
            return i;
    }
    return std::string_view::npos;
}

int ReadCount(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    int value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size())
        return -1;
    return value;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Caption of a project or account with its counts and, for outbox mail, the marker.
std::string CountedCaption(std::string_view text, int total, int unread, int outbox) {
    std::string base(text);
    if (base.size() >= kOutboxMarker.size() &&
        base.compare(base.size() - kOutboxMarker.size(), kOutboxMarker.size(), kOutboxMarker) == 0)
        base.resize(base.size() - kOutboxMarker.size());
    if (total < 1) {
        total = 0;
        unread = 0;
    }
    std::string caption = CaptionBase(base) + " (" + std::to_string(total) + "/" +
                          std::to_string(unread) + ")";
    if (outbox > 0)
        caption += kOutboxMarker;
    return caption;
}

} // namespace

std::array<int, 3> FolderIcons(int code) {
    switch (code) {
    case kFolderInReceipts: return {18, 19, 20};
    case kFolderSent: return {9, 10, 11};
    case kFolderOutReceipts: return {5, 6, 7};
    case kFolderOutbox: return {15, 16, 17};
    case kFolderTrash: return {21, 22, 23};
    case kFolderDrafts: return {24, 25, 26};
    default: return {12, 13, 14}; // inbox and custom folders
    }
}

TCaptionCounts ParseCaptionCounts(std::string_view text) {
    TCaptionCounts counts;
    const size_t at = FindNoCase(text, "</font> (");
    if (at == std::string_view::npos)
        return counts;
    std::string_view rest = text.substr(at + 9);
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos)
        return counts;
    counts.Total = ReadCount(rest.substr(0, slash));
    std::string_view tail = rest.substr(slash + 1);
    counts.Unread = ReadCount(tail.substr(0, tail.find(')')));
    return counts;
}

std::string FolderCaptionWithCounts(std::string_view text, int total, int unread) {
    const size_t at = FindNoCase(text, "</font>");
    std::string_view before = at == std::string_view::npos ? text : text.substr(0, at);
    return std::string(Trimmed(before)) + "</font> (" + std::to_string(total) + "/" +
           std::to_string(unread) + ")";
}

int CountsIcon(const std::array<int, 3>& icons, int total, int unread) {
    if (total <= 0)
        return icons[0];
    return unread <= 0 ? icons[1] : icons[2];
}

TFolderSummary TFolderView::UpdateFolderCaption(int code, int total, int unread,
                                                TCaptionMode mode) {
    TNode* node = Work.ProjectTree.FindFirst([code](const TNode& n) {
        if (NodeNumber(n.Text()) != code)
            return false;
        return n.Level() == 0 ||
               (n.Level() == 1 && NodeNumber(n.Parent()->Text()) == kFolderInbox);
    });
    if (!node || Shell.AbortRequested || Shell.Closing)
        return {-1, -1};
    const TCaptionCounts current = ParseCaptionCounts(node->Text());
    if (mode == TCaptionMode::Read)
        return {current.Total, current.Unread};
    int newTotal = total;
    int newUnread = unread;
    if (mode == TCaptionMode::Add) {
        if (current.Total == -1 || current.Unread == -1)
            return {current.Total, current.Unread};
        newTotal = current.Total + total;
        newUnread = current.Unread + unread;
    }
    if (newTotal <= 0) {
        newTotal = 0;
        newUnread = 0;
    }
    if (code == Folder) {
        Total = newTotal;
        Unread = newUnread;
    }
    const int icon = CountsIcon(FolderIcons(code), newTotal, newUnread);
    std::string text = SetNodeIcon(FolderCaptionWithCounts(node->Text(), newTotal, newUnread), icon);
    if (text != node->Text())
        Work.ProjectTree.SetText(node, std::move(text));
    if (node->ImageIndex() != icon)
        Work.ProjectTree.SetImageIndex(node, icon);
    return {newTotal, newUnread};
}

void TFolderView::WriteCounts(TNode* node, int total, int unread, int outbox, bool account) {
    if (!node)
        return;
    const auto& icons = account ? kAccountIcons : kProjectIcons;
    int icon = icons[2];
    if (unread < 1)
        icon = total < 1 ? icons[0] : icons[1];
    std::string text = SetNodeIcon(CountedCaption(node->Text(), total, unread, outbox), icon);
    if (text != node->Text())
        Work.AccountTree.SetText(node, std::move(text));
    if (node->ImageIndex() != icon)
        Work.AccountTree.SetImageIndex(node, icon);
}

void TFolderView::RefreshCounts() {
    if (Shell.StartingUp || Work.AccountTree.Empty())
        return;
    const bool treeEnabled = !Hooks.AccountTreeEnabled || Hooks.AccountTreeEnabled();
    if (Refreshing || !treeEnabled) {
        ArmCounts();
        return;
    }
    if (Shell.AccountTreeChanged)
        Work.SaveAccountTree();
    Refreshing = true;
    struct TDone {
        bool& Flag;
        ~TDone() { Flag = false; }
    } done{Refreshing};

    if (TNode* selected = Work.AccountTree.Selected()) {
        TNode* account = AccountOf(selected);
        const std::string& accountText = account->Text();
        if (NodeNumber(selected->Text()) != kNodeEmailAddress &&
            (accountText.find('@') == std::string::npos ||
             accountText.find('.') == std::string::npos)) {
            Play(TSound::Attention);
            Popup(Text(1, 262), Text(0, 24), 6000, 12, true);
            Work.ProjectTree.Clear();
            List.Clear();
            Project = -1;
            Folder = -1;
            if (TNode* profile = FindChild(account, kNodeProfile)) {
                Work.AccountTree.Expand(profile, true);
                if (TNode* address = FindBelow(profile, kNodeEmailAddress))
                    Work.AccountTree.Select(address);
            }
            return;
        }
    }

    const std::string store = Shell.Dirs().Store;
    const std::string notSet = Text(3, 14);
    for (int a = 0; a < Work.AccountTree.TopCount(); ++a) {
        TNode* account = Work.AccountTree.Top(a);
        int accountTotal = 0;
        int accountUnread = 0;
        int accountOutbox = 0;
        for (int c = 0; c < account->ChildCount(); ++c) {
            Ui().Pump();
            if (StopRefresh || Shell.Closing)
                return;
            TNode* projectNode = account->Child(c);
            const int project = NodeNumber(projectNode->Text());
            if (project < 999)
                continue;
            int total = 0;
            int unread = 0;
            int outbox = 0;
            std::vector<int> codes = {kFolderInbox};
            // Every custom folder counts, also those behind a gap in the numbers.
            const TCustomFolderTable custom = ScanCustomFolders(store, project, notSet);
            for (int code = kFirstCustomFolder; code <= kLastCustomFolder; ++code) {
                const TCustomFolder* folder = custom.At(code);
                if (folder && !folder->Name.empty())
                    codes.push_back(code);
            }
            for (int code : {kFolderInReceipts, kFolderSent, kFolderOutReceipts, kFolderOutbox,
                             kFolderTrash, kFolderDrafts})
                codes.push_back(code);
            for (int code : codes) {
                const std::optional<TFolderSummary> summary =
                    ReadFolderSummary(FolderPath(store, project, code) + "tree.cnt");
                if (!summary)
                    continue;
                total += summary->Total;
                unread += summary->Unread;
                if (code == kFolderOutbox)
                    outbox += summary->Total;
                if (project == Shell.CurrentProject)
                    UpdateFolderCaption(code, summary->Total, summary->Unread, TCaptionMode::Set);
            }
            accountTotal += total;
            accountUnread += unread;
            accountOutbox += outbox;
            WriteCounts(projectNode, total, unread, outbox, false);
        }
        WriteCounts(account, accountTotal, accountUnread, accountOutbox, true);
    }
    Work.SaveShownProjectTree();
}

} // namespace pelmora

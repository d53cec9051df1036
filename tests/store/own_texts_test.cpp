// The connection parameters take their labels and messages from the program's own texts, so a
// replaced text shows where the parameter is asked for and where its answer is refused.

#include "paramtree/param_events.h"
#include "store_fixture.h"

namespace pelmora {
namespace {

class OwnTextsUseTest : public WorkspaceTest {};

TEST_F(OwnTextsUseTest, PortLabelAndRefusalComeFromTheTable) {
    StartBare();
    Shell->Texts().SetOwn(TOwnText::POP3PortLabel, "Poort POP3");
    Shell->Texts().SetOwn(TOwnText::InvalidPort, " is geen poortnummer!");
    Workspace->FormCreateTrees();
    Shell->StartingUp = false;
    TNode* node = FindNumber(Workspace->AccountTree, kNodePOP3Port);
    ASSERT_TRUE(node);
    EXPECT_NE(node->Text().find("Poort POP3: "), std::string::npos) << node->Text();
    Ui.QueryAnswers = {"port 25"};
    ClickParam(Workspace->AccountTree, node, "POP3Port", Workspace->AccountTreeEvents());
    ASSERT_EQ(Ui.Queries.size(), 1u);
    EXPECT_EQ(Ui.Queries[0].Caption, "Poort POP3");
    EXPECT_TRUE(Ui.PopupShown("port 25 is geen poortnummer!"));
}

} // namespace
} // namespace pelmora

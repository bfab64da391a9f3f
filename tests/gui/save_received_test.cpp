// "Save Receive Data": the folder chooser, numbered files with a time stamp line, folders
// made as needed, the confirmation in the label, and what happens when nothing can be
// written.

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"

namespace fs = std::filesystem;

using namespace quillon;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

class SaveReceivedTest : public ::testing::Test {
  protected:
    SaveReceivedTest() : before_(fs::current_path()) {
        fs::current_path(work_.path());
        dialog_ = OpenMainWindow(Language::English, prompts_);
        dialog_->state().receive.charText = QByteArray("OK\r\n\x1B\x40", 6);
        dialog_->state().receive.hexText = "4F 4B 0D 0A 1B 40 ";
    }
    ~SaveReceivedTest() override {
        dialog_.reset();
        fs::current_path(before_);
    }
    // Chooses the folder through "Modify" as the user would.
    void ChooseFolder(const std::string& folder) {
        prompts_->folderAnswers << QString::fromStdString(folder);
        Click(*dialog_, IDC_MODIFY_DIR);
    }
    std::string Folder(const std::string& relative) const { return work_.path() + "/" + relative; }

    fs::path before_;
    TempDir work_;
    std::shared_ptr<ScriptedPrompts> prompts_ = std::make_shared<ScriptedPrompts>();
    std::unique_ptr<CQuillonDlg> dialog_;
};

TEST_F(SaveReceivedTest, NumberedFilesInANewNestedFolder) {
    ChooseFolder(Folder("captures/2026/december"));
    ASSERT_EQ(prompts_->folderTitles, QStringList{"Please choose save directory"});
    const std::string folder = Folder("captures/2026/december/");
    EXPECT_EQ(dialog_->ItemText(IDC_SAVE_DIR).toStdString(), folder);

    Click(*dialog_, IDC_SAVE);
    const std::string first = ReadAll(folder + "Rec00.txt");
    EXPECT_TRUE(
        QRegularExpression("^\\d{4}-\\d\\d-\\d\\d\\.\\.\\d\\d:\\d\\d:\\d\\d\\r\\nOK\\r\\n\x1B@$")
            .match(QString::fromLatin1(first))
            .hasMatch())
        << first;
    EXPECT_EQ(dialog_->ItemText(IDC_SAVE_DIR), "OK, Rec00.txt saved");
    EXPECT_TRUE(dialog_->IsTimerRunning(kFileTimer));
    EXPECT_EQ(dialog_->TimerInterval(kFileTimer), 5000);
    EXPECT_EQ(fs::current_path().string() + "/", folder);

    // A second save while the label still confirms the first goes to the same folder.
    Click(*dialog_, IDC_SAVE);
    EXPECT_EQ(dialog_->ItemText(IDC_SAVE_DIR), "OK, Rec01.txt saved");
    Click(*dialog_, IDC_SAVE);
    EXPECT_EQ(dialog_->ItemText(IDC_SAVE_DIR), "OK, Rec02.txt saved");
    EXPECT_TRUE(fs::exists(folder + "Rec02.txt"));
    EXPECT_FALSE(fs::exists(Folder("OK, Rec00.txt saved")));

    // The hex view saves the hex text; saving keeps both receive texts.
    Click(*dialog_, IDC_HEX_SHOW);
    Click(*dialog_, IDC_SAVE);
    const std::string hex = ReadAll(folder + "Rec03.txt");
    EXPECT_EQ(hex.substr(hex.find("\r\n") + 2), "4F 4B 0D 0A 1B 40 ");
    EXPECT_EQ(dialog_->state().receive.charText, QByteArray("OK\r\n\x1B\x40", 6));
    EXPECT_EQ(dialog_->state().receive.hexText, "4F 4B 0D 0A 1B 40 ");
    EXPECT_TRUE(prompts_->boxes.empty());

    // Cancelling the chooser leaves the folder as it is.
    Click(*dialog_, IDC_MODIFY_DIR);
    EXPECT_EQ(dialog_->state().saveDirectory.toStdString(), folder);
}

TEST_F(SaveReceivedTest, RelativeAndBackslashFoldersAreTakenAsWrittenAndDoNotNest) {
    dialog_->state().saveDirectory = "old\\Quillon\\logs\\";
    Click(*dialog_, IDC_SAVE);
    Click(*dialog_, IDC_SAVE);
    // One folder of that name, made where the program was, holding both files.
    EXPECT_TRUE(fs::exists(Folder("old\\Quillon\\logs\\/Rec00.txt")));
    EXPECT_TRUE(fs::exists(Folder("old\\Quillon\\logs\\/Rec01.txt")));
    EXPECT_EQ(dialog_->state().saveDirectory.toStdString(), Folder("old\\Quillon\\logs\\/"));
}

TEST_F(SaveReceivedTest, WhenEveryNumberIsTakenTheUserIsAskedBeforeRec99Goes) {
    const std::string folder = work_.MakeDirs("full") + "/";
    for (int n = 0; n < 99; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "Rec%02d.txt", n);
        std::ofstream(folder + name) << "earlier capture " << n;
    }
    // The last is a link someone planted to a file of theirs, which a save must not touch.
    const std::string theirs = work_.WriteFile("theirs", "earlier capture 99");
    fs::create_symlink(theirs, folder + "Rec99.txt");
    ChooseFolder(folder);
    Click(*dialog_, IDC_SAVE);  // answered "No"
    ASSERT_EQ(prompts_->boxes.size(), 1u);
    EXPECT_EQ(prompts_->boxes[0].text,
              "Rec00.txt to Rec99.txt all exist in this folder. Overwrite Rec99.txt?");
    EXPECT_TRUE(prompts_->boxes[0].type & MB_YESNO);
    EXPECT_EQ(ReadAll(folder + "Rec99.txt"), "earlier capture 99");
    EXPECT_EQ(dialog_->ItemText(IDC_SAVE_DIR).toStdString(), folder);
    EXPECT_FALSE(dialog_->IsTimerRunning(kFileTimer));

    prompts_->boxAnswers << IDYES;
    Click(*dialog_, IDC_SAVE);
    EXPECT_NE(ReadAll(folder + "Rec99.txt").find("OK\r\n"), std::string::npos);
    EXPECT_FALSE(fs::is_symlink(folder + "Rec99.txt"));
    EXPECT_EQ(ReadAll(theirs), "earlier capture 99");
    EXPECT_EQ(ReadAll(folder + "Rec98.txt"), "earlier capture 98");
    EXPECT_EQ(dialog_->ItemText(IDC_SAVE_DIR), "OK, Rec99.txt saved");
}

TEST_F(SaveReceivedTest, ASaveIsWholeOrReportedAndNeverGoesThroughASymlink) {
    const std::string folder = work_.MakeDirs("shared") + "/";
    // Someone planted Rec00.txt as a link to a file of theirs that is not there yet.
    const std::string theirs = work_.path() + "/theirs";
    fs::create_symlink(theirs, folder + "Rec00.txt");
    ChooseFolder(folder);
    Click(*dialog_, IDC_SAVE);
    EXPECT_EQ(dialog_->ItemText(IDC_SAVE_DIR), "OK, Rec01.txt saved");
    EXPECT_FALSE(fs::exists(theirs));
    EXPECT_TRUE(fs::is_symlink(folder + "Rec00.txt"));
    EXPECT_TRUE(prompts_->boxes.empty());

    // On a full disk the save says why it failed and leaves no file behind.
    {
        FileSizeLimit full(10);
        Click(*dialog_, IDC_SAVE);
    }
    ASSERT_EQ(prompts_->boxes.size(), 1u);
    EXPECT_EQ(prompts_->boxes[0].text.toStdString(),
              "Create log file failed.\n" + folder + "Rec02.txt: File too large");
    EXPECT_NE(dialog_->ItemText(IDC_SAVE_DIR), "OK, Rec02.txt saved");
    EXPECT_EQ(QDir(QString::fromStdString(folder))
                  .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System),
              (QStringList{"Rec00.txt", "Rec01.txt"}));
}

TEST_F(SaveReceivedTest, AFolderThatCannotBeMadeChangesNothing) {
    const std::string file = work_.WriteFile("not-a-folder", "x");
    ChooseFolder(file + "/captures");
    const QString shown = dialog_->ItemText(IDC_SAVE_DIR);
    Click(*dialog_, IDC_SAVE);
    ASSERT_EQ(prompts_->boxes.size(), 1u);
    EXPECT_EQ(prompts_->boxes[0].text, "Create log file failed.");
    EXPECT_EQ(dialog_->ItemText(IDC_SAVE_DIR), shown);
    EXPECT_EQ(dialog_->state().saveDirectory, shown);
    EXPECT_EQ(fs::current_path().string(), work_.path());
    EXPECT_FALSE(dialog_->IsTimerRunning(kFileTimer));
    EXPECT_EQ(QDir(QString::fromStdString(work_.path()))
                  .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{"not-a-folder"});
}

}  // namespace

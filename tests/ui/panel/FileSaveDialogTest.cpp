// The export's save dialog: it does not block, and answers each request once.

#include <OrvintaUi/FileSaveDialog.h>

#include <QCoreApplication>
#include <QFileDialog>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Orvinta;

namespace {

struct Answers {
    std::vector<std::optional<QString>> paths;
    std::function<void(std::optional<QString>)> collect() {
        return [this](std::optional<QString> path) { paths.push_back(std::move(path)); };
    }
};

} // namespace

TEST(FileSaveDialog, asksWithoutBlockingAndAnswersOncePerRequest) {
    QTemporaryDir folder;
    FileSaveDialog dialog;
    Answers answers;

    dialog.askForLocation("orvinta-2026-12-06.srt", ExportFormat::srt, answers.collect());
    // Returned at once; the dialog is on screen and nobody has answered.
    ASSERT_TRUE(dialog.openDialog());
    EXPECT_TRUE(dialog.openDialog()->isVisible());
    EXPECT_TRUE(answers.paths.empty());
    EXPECT_EQ(dialog.openDialog()->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.openDialog()->defaultSuffix(), "srt");
    EXPECT_TRUE(dialog.openDialog()->selectedFiles().value(0).endsWith("orvinta-2026-12-06.srt"));

    const QString chosen = folder.filePath("talk.srt");
    dialog.openDialog()->selectFile(chosen);
    QMetaObject::invokeMethod(dialog.openDialog(), "accept");
    QCoreApplication::processEvents();
    ASSERT_EQ(answers.paths.size(), 1u);
    EXPECT_EQ(answers.paths[0], chosen);

    // Cancelled: no path. A second request cancels one still open.
    dialog.askForLocation("a.txt", ExportFormat::plainText, answers.collect());
    dialog.askForLocation("b.txt", ExportFormat::plainText, answers.collect());
    ASSERT_EQ(answers.paths.size(), 2u);
    EXPECT_EQ(answers.paths[1], std::nullopt);
    dialog.openDialog()->reject();
    QCoreApplication::processEvents();
    ASSERT_EQ(answers.paths.size(), 3u);
    EXPECT_EQ(answers.paths[2], std::nullopt);
}

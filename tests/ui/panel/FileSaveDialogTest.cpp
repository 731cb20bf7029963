// The export's save dialog: it does not block, and answers each request once.

#include <OrvintaUi/FileSaveDialog.h>

#include <QCoreApplication>
#include <QFileDialog>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Orvinta;

TEST(FileSaveDialog, asksWithoutBlockingAndAnswersOncePerRequest) {
    QTemporaryDir folder;
    FileSaveDialog dialog;
    std::vector<std::optional<QString>> answers;
    const auto collect = [&answers](std::optional<QString> path) { answers.push_back(path); };

    dialog.askForLocation("orvinta-2026-12-06.srt", ExportFormat::srt, collect);
    // Returned at once; the dialog is on screen and nobody has answered.
    ASSERT_TRUE(dialog.openDialog());
    EXPECT_TRUE(dialog.openDialog()->isVisible());
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(dialog.openDialog()->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.openDialog()->defaultSuffix(), "srt");
    EXPECT_TRUE(dialog.openDialog()->selectedFiles().value(0).endsWith("orvinta-2026-12-06.srt"));

    const QString chosen = folder.filePath("talk.srt");
    dialog.openDialog()->selectFile(chosen);
    QMetaObject::invokeMethod(dialog.openDialog(), "accept");
    QCoreApplication::processEvents();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], chosen);

    // Cancelled: no path. A second request cancels one still open.
    dialog.askForLocation("a.txt", ExportFormat::plainText, collect);
    dialog.askForLocation("b.vtt", ExportFormat::webVtt, collect);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[1], std::nullopt);
    EXPECT_EQ(dialog.openDialog()->nameFilters(), QStringList{"WebVTT Subtitles (*.vtt)"});
    EXPECT_EQ(dialog.openDialog()->defaultSuffix(), "vtt");
    dialog.openDialog()->reject();
    QCoreApplication::processEvents();
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[2], std::nullopt);
}

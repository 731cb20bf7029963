#include <OrvintaUi/FileSaveDialog.h>

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

#include <memory>

namespace Orvinta {

FileSaveDialog::FileSaveDialog() = default;

FileSaveDialog::~FileSaveDialog() {
    if (m_dialog)
        m_dialog->deleteLater();
}

void FileSaveDialog::askForLocation(const QString &suggestedName, ExportFormat format,
                                    std::function<void(std::optional<QString> path)> done) {
    if (m_dialog)
        m_dialog->reject();

    auto *dialog = new QFileDialog(nullptr, QStringLiteral("Export Transcript"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    const QString extension = fileExtension(format);
    dialog->setNameFilter(QStringLiteral("%1 (*.%2)").arg(rawValue(format), extension));
    dialog->setDefaultSuffix(extension);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    dialog->setDirectory(folder);
    dialog->selectFile(suggestedName);

    // Exactly one answer per request, whichever way the dialog ends.
    auto answer = std::make_shared<std::function<void(std::optional<QString>)>>(std::move(done));
    const auto reply = [answer](std::optional<QString> path) {
        if (auto callback = std::exchange(*answer, nullptr))
            callback(std::move(path));
    };
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                     [reply](const QString &path) { reply(path); });
    QObject::connect(dialog, &QFileDialog::finished, dialog, [reply, dialog](int result) {
        if (result != QDialog::Accepted || dialog->selectedFiles().isEmpty())
            reply(std::nullopt);
    });
    m_dialog = dialog;
    dialog->open();
}

} // namespace Orvinta

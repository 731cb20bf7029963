#pragma once

#include <OrvintaApp/TranscriptExport.h>

#include <QFileDialog>
#include <QPointer>

namespace Orvinta {

/// The desktop's save dialog for exports. It does not block: the panel and
/// the overlay keep working while it is open. A second request while one
/// is open cancels the first.
class FileSaveDialog : public SaveDialog {
public:
    FileSaveDialog();
    ~FileSaveDialog() override;

    void askForLocation(const QString &suggestedName, ExportFormat format,
                        std::function<void(std::optional<QString> path)> done) override;

    /// The dialog on screen, if any (tests answer it).
    QFileDialog *openDialog() const { return m_dialog; }

private:
    QPointer<QFileDialog> m_dialog;
};

} // namespace Orvinta

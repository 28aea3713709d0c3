#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QWidget;

namespace dv {

/// Shows the pages of pdf in a modal print preview dialog (object name
/// "PrintPreviewDialog") and returns when it closes. The pages are drawn from the
/// PDF itself (Qt PDF), as laid out: the dialog's own orientation and page set-up
/// buttons are hidden. Its Print button calls print, which is to send that same
/// PDF, and closes the dialog. Raises dv::AppError when the PDF cannot be shown,
/// and whatever print raises.
void previewPdf(
    const QByteArray& pdf, const QString& documentName, QWidget* parent, const std::function<void()>& print);

} // namespace dv

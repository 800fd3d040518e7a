// The reading window's drug on pages: a PDF file (导出 PDF…) or the default printer (打印…),
// laid out by the printing module.

#include "app/ReadingWindow.h"

#include "platform/Seams.h"

#include <QBoxLayout>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QStandardPaths>

namespace {

// The longest name most file systems hold, in bytes.
constexpr qsizetype MaxFileNameBytes = 255;

// The drug's Chinese name as a file name: characters no file name (here or on a shared disk)
// can hold become "_", and a name with nothing left is 说明书.
QString pdfFileName(const QString& chineseName) {
    QString name;
    for (const QChar c : chineseName)
        name += c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c) ? QChar(u'_') : c;
    name = name.trimmed();
    while (name.startsWith(u'.'))
        name.remove(0, 1); // a hidden file, or . and ..
    if (name.isEmpty())
        name = QStringLiteral("说明书");
    const QString extension = QStringLiteral(".pdf");
    while (name.toUtf8().size() + extension.size() > MaxFileNameBytes)
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
    return name + extension;
}

PaperLeaflet onPaper(const DrugLeaflet& drug) {
    return PaperLeaflet{drug.key, drug.chineseName, drug.englishName, drug.leaflet};
}

} // namespace

void ReadingWindow::buildExportControls(QBoxLayout* row) {
    exportButton = new QPushButton(QStringLiteral("导出 PDF…"), this);
    exportButton->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    exportButton->setToolTip(QStringLiteral("把这份说明书存为 PDF 文件（Ctrl+Shift+E）"));
    printButton = new QPushButton(QStringLiteral("打印…"), this);
    printButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    printButton->setToolTip(QStringLiteral("在默认打印机上打印这份说明书，版式与 PDF 相同（Ctrl+P）"));
    row->addWidget(exportButton);
    row->addWidget(printButton);
    connect(exportButton, &QPushButton::clicked, this, &ReadingWindow::exportPdf);
    connect(printButton, &QPushButton::clicked, this, &ReadingWindow::printLeaflet);
}

void ReadingWindow::exportPdf() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    QString path = m_platform.files.saveFileName(QStringLiteral("导出 PDF"),
                                                 QDir(folder).filePath(pdfFileName(m_drug.chineseName)),
                                                 QStringLiteral("PDF 文件 (*.pdf)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo target(path);
    if (target.exists() && !target.isDir() &&
        !m_platform.dialogs.askYesNo(QStringLiteral("文件“%1”已存在。要替换它吗？").arg(shown)))
        return;
    if (!m_platform.paper.writePdf({onPaper(m_drug)}, path)) {
        m_platform.dialogs.inform(QStringLiteral("无法导出 PDF：\n%1").arg(m_platform.paper.errorText()));
        return;
    }
    m_platform.dialogs.inform(QStringLiteral("说明书已导出为 PDF：\n%1").arg(shown));
}

void ReadingWindow::printLeaflet() {
    if (!m_platform.dialogs.askYesNo(QStringLiteral("您真的要打印“%1”的说明书吗？").arg(m_drug.chineseName)))
        return;
    if (!m_platform.paper.print({onPaper(m_drug)}))
        m_platform.dialogs.inform(QStringLiteral("无法打印说明书：\n%1").arg(m_platform.paper.errorText()));
}

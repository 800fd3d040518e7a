#include "app/AboutWindow.h"

#include "data/DataInfo.h"
#include "data/DatabaseError.h"
#include "data/DrugFile.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

QString dataSection(DrugFile& drugFile, const QString& userStorePath) {
    QStringList lines;
    try {
        const DrugConnection& connection = drugFile.connection();
        lines = dataInfoLines(readDataInfo(connection), drugCount(connection));
    } catch (const DatabaseError& error) {
        lines = QStringList{QStringLiteral("无法读取数据信息：%1").arg(error.message())};
    }
    if (!drugFile.isServerSeat())
        lines.append(QStringLiteral("药品数据库文件：%1").arg(QDir::toNativeSeparators(drugFile.path())));
    else if (drugFile.isOffline())
        lines.append(QStringLiteral("药品清单：%1（离线，只能查看；连不上数据库服务器：%2）")
                         .arg(drugFile.describe(), drugFile.offlineReason()));
    else
        lines.append(QStringLiteral("药品清单：%1（多个座位共用；每次启动时更新本机的离线副本 %2）")
                         .arg(drugFile.describe(), QDir::toNativeSeparators(drugFile.offlineCopy())));
    lines.append(QStringLiteral("您的收藏、最近查看和笔记：%1（只在本机、只有您能读；换新版药品数据不影响它们；"
                                "用 xiyao-db notes export 文件 / notes import 文件 带到另一台电脑）")
                     .arg(QDir::toNativeSeparators(userStorePath)));
    return lines.join(u'\n');
}

const QString Shortcuts = QStringLiteral(
    "F1：关于（本窗口）\n"
    "Ctrl+F：查找药品（主窗口）；在说明书阅读窗口中为在说明书中查找，回车或 F3 下一处，Shift+F3 上一处\n"
    "Ctrl+R：说明书阅读（也可双击列表中的药品）\n"
    "Ctrl+D：收藏或取消收藏选中的药品（说明书阅读窗口中也可以）；Ctrl+Shift+D：我的收藏；Ctrl+H：最近查看；"
    "Ctrl+Shift+N：我的笔记（也在查找药品窗口的按钮上）\n"
    "字母键盘打开时：键盘上的字母键输入首字母，Backspace 退回一个字母，Delete 清除，Enter 或 Esc 返回\n"
    "药品列表（点一下或按 Tab 后）：↑ ↓ 走一行，PageUp、PageDown 走一页（22 行），Home、End 到开头和末尾；"
    "鼠标在列表上时滚轮也可滚动\n"
    "说明书文字缩放：Ctrl+滚轮，Ctrl 加 +（主键盘或小键盘）、Ctrl 加 -，Ctrl+0 恢复原来的大小\n"
    "说明书阅读窗口：Alt+数字跳到一节，Ctrl+Shift+C 对比，Ctrl+Shift+E 导出 PDF，Ctrl+P 打印");

// What the licences of the parts the program runs on ask to be said.
const QString Notices =
    QStringLiteral("Qt 6：The Qt Company Ltd. 及其他贡献者，按 GNU 宽通用公共许可证第 3 版（LGPLv3）使用，动态链接，"
                   "可以换用自己编译的 Qt；许可证全文见 https://www.gnu.org/licenses/lgpl-3.0.html\n"
                   "SQLCipher：Copyright (c) Zetetic LLC，按 BSD 式许可证使用（可以再分发，须保留版权声明和许可条文）；"
                   "它基于 SQLite（公有领域）\n"
                   "Unicode Unihan 数据（查找药品的拼音读音）：Copyright © Unicode, Inc.，按 Unicode 许可证"
                   "（Unicode License v3）使用，见 https://www.unicode.org/license.txt\n"
                   "字体：中文用 AR PL UMing（文鼎 PL 细上海宋，Arphic Public License），西文字母用 DejaVu Serif"
                   "（Bitstream Vera 字体许可证及其公有领域的 DejaVu 改动），都由系统提供，不随程序分发");

} // namespace

QString aboutText(DrugFile& drugFile, const QString& userStorePath) {
    return QStringLiteral("西药手册 xiyao %1\n\n【数据】\n%2\n\n【快捷键】\n%3\n\n【声明】\n%4\n")
        .arg(QStringLiteral(XIYAO_VERSION), dataSection(drugFile, userStorePath), Shortcuts, Notices);
}

AboutWindow::AboutWindow(DrugFile& drugFile, const QString& userStorePath, QWidget* parent)
    : QDialog(parent)
    , m_drugFile(drugFile)
    , m_userStorePath(userStorePath)
    , m_text(new QPlainTextEdit(this)) {
    setWindowTitle(QStringLiteral("关于西药手册"));
    m_text->setReadOnly(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    resize(640, 520);
    refresh();
}

QString AboutWindow::text() const {
    return m_text->toPlainText();
}

void AboutWindow::refresh() {
    m_text->setPlainText(aboutText(m_drugFile, m_userStorePath));
}

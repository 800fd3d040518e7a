#include "app/CompareWindow.h"

#include "leaflet/LeafletSections.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSet>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

// What a leaflet says under each of its sections, by key, and its sections in order.
struct SectionTexts {
    QStringList keys;
    QHash<QString, QString> headings;
    QHash<QString, QStringList> bodies;
};

SectionTexts sectionTexts(const QString& leaflet) {
    const LeafletSections sections(leaflet);
    SectionTexts texts;
    for (const OutlineEntry& entry : sections.outline()) {
        const QString key = entry.kind == SectionKind::Opening ? QString() : entry.key;
        texts.keys.append(key);
        texts.headings.insert(key, entry.kind == SectionKind::Opening ? QStringLiteral("（开头）") : entry.heading);
        QStringList& body = texts.bodies[key];
        for (const qsizetype index : entry.parts) {
            const LeafletPart& part = sections.parts()[index];
            body.append(leaflet.mid(part.bodyBegin, part.end - part.bodyBegin).trimmed());
        }
    }
    return texts;
}

std::optional<QString> bodyOf(const SectionTexts& texts, const QString& key) {
    if (!texts.bodies.contains(key))
        return std::nullopt;
    return texts.bodies[key].join(u'\n');
}

QString cellHtml(const std::optional<QString>& text) {
    if (!text)
        return QStringLiteral("<td style=\"color:#a04040\">（没有这一节）</td>");
    QString html = text->toHtmlEscaped();
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    html.replace(u'\n', QStringLiteral("<br>"));
    html.replace(u'\r', QStringLiteral("<br>"));
    return QStringLiteral("<td>%1</td>").arg(html);
}

} // namespace

QList<CompareRow> compareRows(const QString& left, const QString& right) {
    const SectionTexts a = sectionTexts(left);
    const SectionTexts b = sectionTexts(right);
    QStringList order;
    if (a.bodies.contains(QString()) || b.bodies.contains(QString()))
        order.append(QString());
    for (const QString& key : knownSections()) {
        if (a.bodies.contains(key) || b.bodies.contains(key))
            order.append(key);
    }
    for (const SectionTexts* texts : {&a, &b}) {
        for (const QString& key : texts->keys) {
            if (!order.contains(key))
                order.append(key);
        }
    }
    QList<CompareRow> rows;
    for (const QString& key : std::as_const(order)) {
        const QString heading = a.headings.value(key, b.headings.value(key));
        rows.append({key.isEmpty() ? heading : (knownSections().contains(key) ? key : heading), bodyOf(a, key),
                     bodyOf(b, key)});
    }
    return rows;
}

CompareWindow::CompareWindow(const DrugLeaflet& left, const DrugLeaflet& right)
    : m_rows(compareRows(left.leaflet, right.leaflet)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("说明书对比 - %1 与 %2").arg(left.chineseName, right.chineseName));
    auto* layout = new QVBoxLayout(this);
    textBox = new QTextBrowser(this);
    QString html = QStringLiteral("<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"6\">"
                                  "<tr><th width=\"16%\"></th><th width=\"42%\">%1<br>%2</th>"
                                  "<th width=\"42%\">%3<br>%4</th></tr>")
                       .arg(left.chineseName.toHtmlEscaped(), left.englishName.toHtmlEscaped(),
                            right.chineseName.toHtmlEscaped(), right.englishName.toHtmlEscaped());
    for (const CompareRow& row : std::as_const(m_rows))
        html += QStringLiteral("<tr><th valign=\"top\">%1</th>%2%3</tr>")
                    .arg(row.heading.toHtmlEscaped(), cellHtml(row.left), cellHtml(row.right));
    html += QStringLiteral("</table>");
    textBox->setHtml(html);
    layout->addWidget(textBox);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    resize(980, 700);
}

DrugPicker::DrugPicker(QWidget* parent, Search search)
    : QDialog(parent)
    , m_search(std::move(search)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("选择要对比的药品"));
    auto* layout = new QVBoxLayout(this);
    textBox = new QLineEdit(this);
    textBox->setPlaceholderText(QStringLiteral("中文名、英文名或拼音，回车查找"));
    resultList = new QListWidget(this);
    resultLabel = new QLabel(QStringLiteral("找到后双击一种药品，或选中后按回车"), this);
    layout->addWidget(textBox);
    layout->addWidget(resultList, 1);
    layout->addWidget(resultLabel);
    connect(textBox, &QLineEdit::returnPressed, this, &DrugPicker::search);
    connect(resultList, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { pick(resultList->row(item)); });
    resize(420, 480);
}

void DrugPicker::search() {
    m_found = m_search(textBox->text());
    resultList->clear();
    for (const DrugLeaflet& drug : std::as_const(m_found))
        resultList->addItem(drug.englishName.isEmpty() ? drug.chineseName
                                                       : drug.chineseName + QStringLiteral("　") + drug.englishName);
    resultLabel->setText(m_found.isEmpty()
                             ? QStringLiteral("没有找到")
                             : QStringLiteral("找到 %1 种药品：双击一种，或选中后按回车").arg(m_found.size()));
    if (!m_found.isEmpty()) {
        resultList->setCurrentRow(0);
        resultList->setFocus();
    }
}

void DrugPicker::pick(int row) {
    if (row < 0 || row >= m_found.size())
        return;
    Q_EMIT picked(m_found[row]);
    close();
}

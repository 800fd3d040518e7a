// The drug view: a row click fills the boxes and the value labels; the page box pages.

#include "app/Form19.h"
#include "app/Text.h"

void Form19::Label4_Click(int index) {
    LeafletText.clear();
    LeafletPage = 1;
    Text1->setText(QString());
    Text6->setText(QString());
    Text11->setText(QString());
    choose(std::nullopt);
    for (CaptionLabel* label : {Label7, Label13, Label9})
        label->setCaption(QString());

    const qint64 entry = index + ListTop;
    if (entry < 0 || entry >= RowCells)
        return; // outside the arrays: the controls stay cleared

    const QString leaflet = RowLeaflet[entry].toText();
    Text1->setText(leaflet);
    LeafletText = leaflet;
    // Every line, joined with nothing between: the CR of a CR LF line end stays.
    Label13->setCaption(QString(leaflet).remove(u'\n'));
    Label7->setCaption(RowEnglishName[entry].toText());
    Text6->setText(RowEnglishName[entry].toText());
    Label9->setCaption(RowChineseName[entry].toText());
    Text11->setText(RowChineseName[entry].toText());
    choose(RowId[entry].integer());
}

void Form19::choose(std::optional<qint64> key) {
    m_chosenDrug = key;
    Label2->setCaption(key ? QString::number(*key) : QString());
}

void Form19::rebuildPageBox() {
    const QStringList lines = trimSpaces(LeafletText).split(u'\n');
    QString caption;
    int counter = 0;
    for (const QString& line : lines) {
        ++counter;
        if (counter > LeafletPage)
            caption += line;
    }
    Label13->setCaption(caption);
}

void Form19::Image3_Click() {
    Label13->setCaption(QString());
    ++LeafletPage;
    rebuildPageBox();
}

void Form19::Image2_Click() {
    Label13->setCaption(QString());
    if (LeafletPage < 1)
        LeafletPage = 1;
    --LeafletPage;
    rebuildPageBox();
}

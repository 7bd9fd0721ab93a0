#include "ui/about/frmAbout.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace tq::ui {

namespace {

constexpr int kIconSize = 32;

// The application's icon when it has one, else a converter's staircase output of our own.
QPixmap aboutIcon() {
    const QIcon appIcon = QApplication::windowIcon();
    if (!appIcon.isNull()) return appIcon.pixmap(kIconSize, kIconSize);

    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x5f, 0x9f));
    painter.drawRoundedRect(QRectF(1, 1, kIconSize - 2, kIconSize - 2), 5, 5);
    painter.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPolygonF steps;
    qreal x = 6;
    qreal y = 25;
    steps << QPointF(x, y);
    for (int i = 0; i < 4; ++i) {
        x += 5;
        steps << QPointF(x, y);
        y -= 5;
        steps << QPointF(x, y);
    }
    steps << QPointF(kIconSize - 6, y);
    painter.drawPolyline(steps);
    return pixmap;
}

} // namespace

FrmAbout::FrmAbout(const Variant& variant, QWidget* parent)
    : QDialog(parent), picIcon(new QLabel(this)), lblTitle(new QLabel(this)),
      lblVersion(new QLabel(this)), lblDescription(new QLabel(this)), Line1(new QFrame(this)),
      cmdOK(new QPushButton(QStringLiteral("OK"), this)),
      cmdSysInfo(new QPushButton(QStringLiteral("&System Info..."), this)), variant_(variant) {
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    Line1->setObjectName(QStringLiteral("Line1"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));

    picIcon->setPixmap(aboutIcon());
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    if (titleFont.pointSizeF() > 0) titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    lblTitle->setFont(titleFont);
    lblDescription->setText(
        QStringLiteral("The latest versions of all Orvana Software is available from our "
                       "WebSite https://example.com/tq5802"));
    lblDescription->setWordWrap(true);
    lblDescription->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    cmdOK->setDefault(true);

    auto* labels = new QVBoxLayout;
    labels->addWidget(lblTitle);
    labels->addWidget(lblVersion);
    labels->addWidget(lblDescription);
    labels->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(labels, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Line1);
    layout->addLayout(bottom);
    setMinimumWidth(440);

    setTabOrder(cmdOK, cmdSysInfo);
    cmdOK->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &FrmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &FrmAbout::cmdSysInfo_Click);

    Form_Load();
}

void FrmAbout::Form_Load() {
    setWindowTitle(QStringLiteral("About ") + QString::fromUtf8(variant_.title));
    lblVersion->setText(QStringLiteral("Version  %1.%2.%3")
                            .arg(variant_.versionMajor)
                            .arg(variant_.versionMinor)
                            .arg(variant_.versionRevision));
    lblTitle->setText(QString::fromUtf8(variant_.title));
}

void FrmAbout::cmdOK_Click() {
    close();
}

void FrmAbout::cmdSysInfo_Click() {
    StartSysInfo();
}

void FrmAbout::StartSysInfo() {
    const QString title = QString::fromUtf8(variant_.title);
    if (registry_ != nullptr) {
        tq::ui::StartSysInfo(*registry_, launcher_, this, title);
        return;
    }
    MemoryRegistry system = systemRegistry();
    tq::ui::StartSysInfo(system, launcher_, this, title);
}

} // namespace tq::ui

#include "app/tform1.h"

#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <array>

#include "app/form_layout.h"
#include "app/glyphs.h"
#include "app/open_dialog.h"
#include "app/tapplication.h"

namespace troz {

namespace {

constexpr QRect ToQRect(const FormRect& rect) {
    return QRect(rect.left, rect.top, rect.width, rect.height);
}

constexpr QSize kClientSize(kClientWidth, kClientHeight);
constexpr QPoint kWindowPosition(kWindowLeft, kWindowTop);
constexpr int kStatusPanelIndent = 2;

// List rows of the item height, as the log and the drive list are laid out.
class FixedRowHeightDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kItemHeight);
        return size;
    }
};

template <typename Control>
Control* Place(Control* control, const char* name, const FormRect& rect) {
    control->setObjectName(QLatin1String(name));
    control->setGeometry(ToQRect(rect));
    return control;
}

}  // namespace

TForm1::TForm1(TAtapi& atapi) : QWidget(nullptr), atapi_(atapi) {
    setObjectName(QStringLiteral("Form1"));
    // No maximise button: xfwm4 shows only shade, minimise and close for these hints and the
    // fixed size below. Openbox draws its maximise button on every window whatever the
    // hints, but refuses to maximise this one.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientSize);
    move(kWindowPosition);
    setWindowIcon(ApplicationIcon());

    QPalette buttonFace = palette();
    buttonFace.setColor(QPalette::Window, buttonFace.color(QPalette::Button));
    setPalette(buttonFace);
    setAutoFillBackground(true);

    QFont font{QLatin1String(kFontFamily)};
    font.setPixelSize(kFontPixelHeight);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);

    CreateControls();
    Edit2->hide();
    FillDriveList();
    ShowSelectedDriveInStatusBar();
    ApplyStartEnablingRule();
}

void TForm1::CreateControls() {
    // Children are created in stacking order: the progress bar lies on the status panel.
    CreateLogAndStatusBar();
    CreateSourceGroup();
    CreateFileGroup();
    CreateButtons();
    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    SetTabOrder();
}

void TForm1::CreateSourceGroup() {
    GroupBox1 =
        Place(new QGroupBox(QLatin1String(kGroupBox1Caption), this), "GroupBox1", kGroupBox1Rect);
    SelDevice = Place(new QComboBox(GroupBox1), "SelDevice", kSelDeviceRect);
    SelDevice->setEditable(false);
    SelDevice->setItemDelegate(new FixedRowHeightDelegate(SelDevice));
    // activated comes from the user's picks only, never from filling the list.
    connect(SelDevice, &QComboBox::activated, this, &TForm1::SelDeviceChange);
}

void TForm1::CreateFileGroup() {
    GroupBox2 =
        Place(new QGroupBox(QLatin1String(kGroupBox2Caption), this), "GroupBox2", kGroupBox2Rect);
    Edit1 = Place(new QLineEdit(GroupBox2), "Edit1", kEdit1Rect);
    Edit1->setReadOnly(true);
    BitBtn1 =
        Place(new QPushButton(GlyphIcon(Glyph::Open), QLatin1String(kBitBtn1Caption), GroupBox2),
              "BitBtn1", kBitBtn1Rect);
    Edit2 = Place(new QLineEdit(GroupBox2), "Edit2", kEdit2Rect);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
}

void TForm1::CreateButtons() {
    BitBtn2 = Place(new QPushButton(GlyphIcon(Glyph::Start), QLatin1String(kBitBtn2Caption), this),
                    "BitBtn2", kBitBtn2Rect);
    SpeedButton1 = Place(new QToolButton(this), "SpeedButton1", kSpeedButton1Rect);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setVisible(false);
    BitBtn3 = Place(new QPushButton(GlyphIcon(Glyph::Exit), QLatin1String(kBitBtn3Caption), this),
                    "BitBtn3", kBitBtn3Rect);
    for (QPushButton* button : {BitBtn2, BitBtn3}) {
        button->setIconSize(QSize(kGlyphSize, kGlyphSize));
    }
    BitBtn1->setIconSize(QSize(kGlyphSize, kGlyphSize));
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm1::BitBtn3Click);
}

void TForm1::CreateLogAndStatusBar() {
    ListBox1 = Place(new QListWidget(this), "ListBox1", kListBox1Rect);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setItemDelegate(new FixedRowHeightDelegate(ListBox1));

    StatusBar1 = Place(new QFrame(this), "StatusBar1", kStatusBar1Rect);
    statusPanel_ = Place(new QLabel(StatusBar1), "StatusBar1Panel0", kStatusPanelRect);
    statusPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusPanel_->setIndent(kStatusPanelIndent);
    ProgressBar1 = Place(new QProgressBar(StatusBar1), "ProgressBar1", kProgressBar1Rect);
    ProgressBar1->setRange(kProgressMinimum, kProgressMaximum);
    ProgressBar1->setValue(kProgressMinimum);
    ProgressBar1->setTextVisible(false);
}

void TForm1::SetTabOrder() {
    const std::array<QWidget*, 7> order = {SelDevice, Edit1,   BitBtn1, Edit2,
                                           ListBox1,  BitBtn2, BitBtn3};
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
}

void TForm1::FillDriveList() {
    for (int i = 0; i < atapi_.DriveCount(); ++i) {
        // One character per byte, so the text gives back the very bytes the drive reported.
        const std::string text = DriveItemText(atapi_.Entry(i));
        SelDevice->addItem(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    }
    // Entry 0 is already the current target: selecting item 0 here sends nothing.
    SelDevice->setCurrentIndex(SelDevice->count() > 0 ? 0 : -1);
}

void TForm1::ShowSelectedDriveInStatusBar() {
    statusPanel_->setText(SelDevice->currentText());
}

void TForm1::ApplyStartEnablingRule() {
    if (SelDevice->currentText().isEmpty()) {
        BitBtn2->setEnabled(false);
    }
}

void TForm1::FormCreate() {
    setWindowTitle(QLatin1String(kWindowCaption));
}

void TForm1::SelDeviceChange(int index) {
    if (index < 0) {
        return;
    }
    atapi_.SelectDevice(index);
    ShowSelectedDriveInStatusBar();
    ApplyStartEnablingRule();
}

void TForm1::BitBtn1Click() {
    RunHandler(openHandler_);
}

void TForm1::BitBtn2Click() {
    RunHandler(startHandler_);
}

void TForm1::BitBtn3Click() {
    close();
}

}  // namespace troz

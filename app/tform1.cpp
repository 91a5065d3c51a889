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

#include "app/glyphs.h"
#include "app/open_dialog.h"
#include "app/tapplication.h"

namespace troz {

namespace {

// The layout is in pixels at 96 dots per inch, and so is the font: "MS Sans Serif" 8 pt is
// 11 pixels high there. Where that font is missing the system substitutes a sans font of
// the same pixel height, so every caption keeps fitting its control.
constexpr const char* kFontFamily = "MS Sans Serif";
constexpr int kFontPixelHeight = 11;
constexpr int kItemHeight = 13;

constexpr QSize kClientSize(267, 292);
constexpr QPoint kWindowPosition(400, 166);

constexpr QRect kGroupBox1Rect(4, -1, 261, 65);
constexpr QRect kSelDeviceRect(30, 25, 201, 21);
constexpr QRect kGroupBox2Rect(4, 71, 261, 81);
constexpr QRect kEdit1Rect(31, 16, 201, 21);
constexpr QRect kBitBtn1Rect(86, 48, 75, 25);
constexpr QRect kEdit2Rect(16, 48, 49, 21);
constexpr QRect kBitBtn2Rect(33, 160, 75, 25);
constexpr QRect kSpeedButton1Rect(121, 160, 23, 22);
constexpr QRect kBitBtn3Rect(161, 160, 75, 25);
constexpr QRect kListBox1Rect(0, 190, 267, 83);
constexpr QRect kStatusBar1Rect(0, 273, 267, 19);
constexpr QRect kProgressBar1Rect(169, 2, 97, 17);
// Panel 0 is the only panel, so it runs to the right end of the bar; the progress bar
// covers its right part.
constexpr QRect kStatusPanelRect(0, 2, 267, 17);
constexpr int kStatusPanelIndent = 2;

constexpr int kProgressMinimum = 0;
constexpr int kProgressMaximum = 100;

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
Control* Place(Control* control, const char* name, const QRect& rect) {
    control->setObjectName(QLatin1String(name));
    control->setGeometry(rect);
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
        Place(new QGroupBox(QStringLiteral("Select Source : "), this), "GroupBox1", kGroupBox1Rect);
    SelDevice = Place(new QComboBox(GroupBox1), "SelDevice", kSelDeviceRect);
    SelDevice->setEditable(false);
    SelDevice->setItemDelegate(new FixedRowHeightDelegate(SelDevice));
    // activated comes from the user's picks only, never from filling the list.
    connect(SelDevice, &QComboBox::activated, this, &TForm1::SelDeviceChange);
}

void TForm1::CreateFileGroup() {
    GroupBox2 =
        Place(new QGroupBox(QStringLiteral("Select File : "), this), "GroupBox2", kGroupBox2Rect);
    Edit1 = Place(new QLineEdit(GroupBox2), "Edit1", kEdit1Rect);
    Edit1->setReadOnly(true);
    BitBtn1 = Place(new QPushButton(GlyphIcon(Glyph::Open), QStringLiteral("&Open"), GroupBox2),
                    "BitBtn1", kBitBtn1Rect);
    Edit2 = Place(new QLineEdit(GroupBox2), "Edit2", kEdit2Rect);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
}

void TForm1::CreateButtons() {
    BitBtn2 = Place(new QPushButton(GlyphIcon(Glyph::Start), QStringLiteral("&Start"), this),
                    "BitBtn2", kBitBtn2Rect);
    SpeedButton1 = Place(new QToolButton(this), "SpeedButton1", kSpeedButton1Rect);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setVisible(false);
    BitBtn3 = Place(new QPushButton(GlyphIcon(Glyph::Exit), QStringLiteral("&Exit"), this),
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

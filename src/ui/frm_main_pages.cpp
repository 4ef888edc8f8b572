// Building the window: the header and the nine pages with their texts and controls. The handlers
// live in frm_main.cpp.
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/frm_main.h"
#include "ui/grids.h"
#include "ui/qt_ports.h"
#include "ui/widgets.h"

namespace vorlend::ui {

namespace {

constexpr int kClientWidth = 527;
constexpr int kClientHeight = 338;
constexpr int kHeaderHeight = 57;

const char* const kWarningText =
    "Zkontrolujte prosím, zda na ostatních stanicích nejsou otevřené doklady v modulech, ve kterých bude "
    "program měnit stav zámků.";
const char* const kStartHintText = "Akci spustíte tlačítkem Start.";
const char* const kBackToStartText = "Zpět na první stránku";
const char* const kTipText = "Tip: další doplňky k Money si můžete";
const char* const kDownloadText = "stáhnout zde";

QString T(const char* text) {
  return QString::fromUtf8(text);
}

QVBoxLayout* PageLayout(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(12, 10, 12, 10);
  layout->setSpacing(6);
  return layout;
}

QLabel* MakeBold(QLabel* label, const char* name = nullptr) {
  if (name) label->setObjectName(QLatin1String(name));
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

QLabel* BoldLabel(const QString& text, QWidget* parent, const char* name = nullptr) {
  return MakeBold(PlainLabel(text, parent), name);
}

QLabel* WarningIcon(QWidget* parent, const char* name) {
  auto* icon = new QLabel(parent);
  icon->setObjectName(QLatin1String(name));
  icon->setPixmap(parent->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
  icon->setFixedSize(32, 32);
  return icon;
}

// What the job did, under the page's own text.
QLabel* OutcomeLabel(QWidget* page, const char* name) {
  QLabel* label = PlainLabel(QString(), page, true);
  label->setObjectName(QLatin1String(name));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

// The warning about documents open on other stations, with its icon.
QHBoxLayout* WarningRow(QWidget* page, const char* iconName, const char* labelName) {
  auto* row = new QHBoxLayout;
  row->setSpacing(10);
  row->addWidget(WarningIcon(page, iconName), 0, Qt::AlignTop);
  QLabel* text = PlainLabel(T(kWarningText), page, true);
  text->setObjectName(QLatin1String(labelName));
  row->addWidget(text, 1);
  return row;
}

// "Tip: ... stáhnout zde" with the link in the line's flow.
QHBoxLayout* TipRow(QWidget* page, const char* tipName, LinkLabel* link) {
  auto* row = new QHBoxLayout;
  row->setSpacing(4);
  QLabel* tip = PlainLabel(T(kTipText), page);
  tip->setObjectName(QLatin1String(tipName));
  row->addWidget(tip);
  row->addWidget(link);
  row->addStretch(1);
  return row;
}

// The bottom row of a page: optional controls on the left, then the navigation buttons, the end
// button apart from them.
QHBoxLayout* ButtonRow(std::initializer_list<QWidget*> left, std::initializer_list<QWidget*> navigation, QWidget* end) {
  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  for (QWidget* w : left) row->addWidget(w, 0, Qt::AlignVCenter);
  row->addStretch(1);
  for (QWidget* w : navigation) row->addWidget(w);
  if (end) {
    row->addSpacing(10);
    row->addWidget(end);
  }
  return row;
}

// A group of radio buttons is one stop of the focus chain, at its chosen button, so that Tab
// enters the group there and a Space pressed next never changes the choice unseen; the arrow
// keys move within the group. (Qt would keep the stop at whichever button had the focus last.)
void TabStopAtChosen(QWidget* group) {
  const QList<QRadioButton*> buttons = group->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
  const bool anyChosen = std::any_of(buttons.begin(), buttons.end(), [](QRadioButton* b) { return b->isChecked(); });
  for (QRadioButton* b : buttons) b->setFocusPolicy(b->isChecked() || !anyChosen ? Qt::StrongFocus : Qt::ClickFocus);
}

}  // namespace

QPushButton* TfrmMain::MakeButton(const char* name, const QString& text, void (Wizard::*handler)()) {
  auto* button = new WizardButton(text, m_clickGuard, this);
  button->setObjectName(QLatin1String(name));
  button->setMinimumSize(75, 25);
  connect(button, &QPushButton::clicked, this, [this, handler] { ((*m_wizard).*handler)(); });
  return button;
}

LinkLabel* TfrmMain::MakeLink(const char* name, const QString& text, void (Wizard::*handler)()) {
  auto* link = new LinkLabel(text, this, &m_clickGuard);
  link->setObjectName(QLatin1String(name));
  connect(link, &LinkLabel::Clicked, this, [this, handler] { ((*m_wizard).*handler)(); });
  return link;
}

void TfrmMain::SetFocusChain(int page, std::initializer_list<QWidget*> chain) {
  m_focusChains[static_cast<std::size_t>(page)].assign(chain.begin(), chain.end());
  QWidget* previous = nullptr;
  for (QWidget* w : chain) {
    if (previous) setTabOrder(previous, w);
    previous = w;
    if (auto* radio = qobject_cast<QRadioButton*>(w)) {
      connect(radio, &QAbstractButton::toggled, this, [radio] { TabStopAtChosen(radio->parentWidget()); });
      TabStopAtChosen(radio->parentWidget());
    }
  }
}

void TfrmMain::BuildWindow() {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(T(kAppTitle));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  // The pages are laid out for this size in pixels; the font follows it.
  QFont f = font();
  f.setPixelSize(11);
  setFont(f);
  setFixedSize(kClientWidth, kClientHeight);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(BuildHeader());
  auto* bevel = new QFrame(this);
  bevel->setObjectName(QStringLiteral("Bevel1"));
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  layout->addWidget(bevel);

  PageControl1 = new QStackedWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  QWidget* pages[] = {BuildStartPage(),       BuildSaveOptionsPage(),    BuildArchiveNamePage(),
                      BuildProgressPage(),    BuildSaveDonePage(),       BuildErrorPage(),
                      BuildArchiveListPage(), BuildRecapitulationPage(), BuildRestoreDonePage()};
  int number = 1;
  for (QWidget* page : pages) {
    page->setObjectName(QStringLiteral("TabSheet%1").arg(number++));
    // The click guard learns when a page has been painted.
    page->installEventFilter(this);
    PageControl1->addWidget(page);
  }
  layout->addWidget(PageControl1, 1);

  tmSetFormInForeground = new QTimer(this);
  tmSetFormInForeground->setObjectName(QStringLiteral("tmSetFormInForeground"));
  tmSetFormInForeground->setInterval(2000);
  tmSetFormInForeground->setSingleShot(true);
  connect(tmSetFormInForeground, &QTimer::timeout, this, [this] { tmSetFormInForegroundTimer(); });
}

void TfrmMain::AttachGrids() {
  YearList& years = m_wizard->Years();
  m_yearModel = new YearListModel(years, grYearName);
  grYearName->setModel(m_yearModel);
  grYearName->setItemDelegate(new YearCheckDelegate(years, imgCheck->pixmap(), grYearName));
  SetUpGrid(grYearName);
  grYearName->setColumnWidth(0, 16);
  grYearName->setColumnWidth(1, 58);
  grYearName->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grYearName->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  grYearName->setFixedWidth(16 + 58 + 2 * grYearName->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                            2);
  OnCellClick(grYearName, [this](int r, int c) { grYearNameCellClick(r, c); });
  OnKeyPress(grYearName, [this](const QKeyEvent& key) { return grYearNameKeyPress(key.key(), key.isAutoRepeat()); });
  // The arrow keys move the list's current row, which Space marks.
  FollowCurrentRow(grYearName, [this](int current) { m_wizard->SetCurrentYear(current); });
  KeepRowSelected(grYearName, [&years] { return years.Count() == 0 ? -1 : static_cast<int>(years.Current()); });

  ArchiveList& archives = m_wizard->Archives();
  m_archiveModel = new ArchiveListModel(archives, grInfoFiles);
  grInfoFiles->setModel(m_archiveModel);
  SetUpGrid(grInfoFiles);
  grInfoFiles->setColumnWidth(0, 301);
  grInfoFiles->setColumnWidth(1, 90);
  grInfoFiles->setColumnWidth(2, 90);
  grInfoFiles->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The highlighted row is always the one "Smazat" and "Další >>" act on.
  FollowCurrentRow(grInfoFiles, [this](int row) { m_wizard->SetCurrentArchive(row); });
  KeepRowSelected(grInfoFiles, [&archives] { return archives.Empty() ? -1 : static_cast<int>(archives.Current()); });
}

QWidget* TfrmMain::BuildHeader() {
  auto* panel = new QWidget(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFixedHeight(kHeaderHeight);
  panel->setAutoFillBackground(true);
  QPalette p = panel->palette();
  p.setColor(QPalette::Window, Qt::white);
  p.setColor(QPalette::WindowText, Qt::black);
  panel->setPalette(p);

  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(12, 10, 12, 10);
  layout->setSpacing(4);
  lblProgramVersion = BoldLabel(QString(), panel, "lblProgramVersion");
  layout->addWidget(lblProgramVersion);
  QLabel* notice = PlainLabel(T("© Vorlend, všechna práva vyhrazena"), panel);
  notice->setObjectName(QStringLiteral("Label23"));
  layout->addWidget(notice);
  layout->addStretch(1);
  return panel;
}

QWidget* TfrmMain::BuildStartPage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);

  auto* agenda = new QHBoxLayout;
  agenda->setSpacing(6);
  QLabel* caption = PlainLabel(T("Název agendy:"), page);
  caption->setObjectName(QStringLiteral("Label1"));
  agenda->addWidget(caption);
  // A long name is cut with "…" and shown whole in the tooltip.
  lblAgendaName = MakeBold(new ElidedLabel(page), "lblAgendaName");
  agenda->addWidget(lblAgendaName, 1);
  layout->addLayout(agenda);
  layout->addSpacing(10);

  QLabel* question = PlainLabel(T("Jakou akci chcete provést ?"), page);
  question->setObjectName(QStringLiteral("Label2"));
  layout->addWidget(question);
  layout->addSpacing(2);

  RadioButton1 = new WrapRadioButton(
      T("aktuální stav zámků dokladů uložit do databáze a zároveň odemknout nebo uzamknout doklady"), page);
  RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
  RadioButton1->setChecked(true);
  layout->addWidget(RadioButton1);

  QLabel* note = PlainLabel(T("(tuto volbu použijte, pokud potřebujete provést např. přepočet pořizovacích cen zásob)"),
                            page, true);
  note->setObjectName(QStringLiteral("Label3"));
  note->setIndent(style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                  style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing));
  layout->addWidget(note);
  layout->addSpacing(4);

  RadioButton2 = new QRadioButton(T("vrátit zámky dokladů do původního stavu"), page);
  RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
  layout->addWidget(RadioButton2);
  layout->addStretch(1);

  QPushButton* next = MakeButton("btnNext1", T("Další >>"), &Wizard::btnNext1Click);
  QPushButton* end = MakeButton("btnKonec1", T("Konec"), &Wizard::CloseAddOn);
  layout->addLayout(ButtonRow({}, {next}, end));
  SetFocusChain(kPageStart, {RadioButton1, RadioButton2, next, end});
  return page;
}

QWidget* TfrmMain::BuildSaveOptionsPage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);

  QLabel* instruction = PlainLabel(
      T("V seznamu označte účetní roky a ve filtru doklady, které bude program procházet. Poslední volba určuje, "
        "zda se mají doklady zároveň odemknout nebo uzamknout. Jestliže budete provádět přepočet pořizovacích cen "
        "zásob, postačí filtrovat jen přijaté faktury, vystavené faktury a skladové doklady (ostatní doklady jsou "
        "vždy neskladové)."),
      page, true);
  instruction->setObjectName(QStringLiteral("Label4"));
  layout->addWidget(instruction);

  auto* row = new QHBoxLayout;
  row->setSpacing(6);

  grYearName = new QTableView(page);
  grYearName->setObjectName(QStringLiteral("grYearName"));
  // The check picture is a hidden control of the window, as the grid's drawing expects it.
  imgCheck = new QLabel(this);
  imgCheck->setObjectName(QStringLiteral("imgCheck"));
  imgCheck->setPixmap(CheckImage());
  imgCheck->hide();
  row->addWidget(grYearName);

  auto* filter = new QGroupBox(T("Filtr dokladů"), page);
  filter->setObjectName(QStringLiteral("GroupBox1"));
  auto* filterLayout = new QVBoxLayout(filter);
  filterLayout->setContentsMargins(6, 2, 6, 2);
  filterLayout->setSpacing(0);
  for (std::size_t i = 0; i < kModuleCount; ++i) {
    auto* box = new QCheckBox(T(kModules[i].caption), filter);
    box->setObjectName(QLatin1String(kModules[i].checkBox));
    m_moduleBoxes[i] = box;
    filterLayout->addWidget(box);
  }
  filterLayout->addStretch(1);
  filter->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
  row->addWidget(filter);

  auto* locks = new QGroupBox(T("Zámky na dokladech"), page);
  locks->setObjectName(QStringLiteral("GroupBox2"));
  auto* locksLayout = new QVBoxLayout(locks);
  locksLayout->setContentsMargins(6, 2, 6, 2);
  locksLayout->setSpacing(0);
  rbAllUnlock = new QRadioButton(T("všechny doklady zároveň odemknout"), locks);
  rbAllUnlock->setObjectName(QStringLiteral("rbAllUnlock"));
  rbAllLock = new QRadioButton(T("všechny doklady zároveň uzamknout"), locks);
  rbAllLock->setObjectName(QStringLiteral("rbAllLock"));
  rbAllNoAction = new QRadioButton(T("neprovádět žádnou akci"), locks);
  rbAllNoAction->setObjectName(QStringLiteral("rbAllNoAction"));
  rbAllUnlock->setChecked(true);
  for (QRadioButton* rb : {rbAllUnlock, rbAllLock, rbAllNoAction}) locksLayout->addWidget(rb);
  locksLayout->addStretch(1);
  row->addWidget(locks, 1);

  layout->addLayout(row, 1);
  QPushButton* prev = MakeButton("btnPrev2", T("<< Zpět"), &Wizard::btnPrev2Click);
  QPushButton* next = MakeButton("btnNext2", T("Další >>"), &Wizard::btnNext2Click);
  QPushButton* end = MakeButton("btnKonec2", T("Konec"), &Wizard::CloseAddOn);
  layout->addLayout(ButtonRow({}, {prev, next}, end));
  SetFocusChain(kPageSaveOptions, {grYearName, m_moduleBoxes[0], m_moduleBoxes[1], m_moduleBoxes[2], m_moduleBoxes[3],
                                   m_moduleBoxes[4], m_moduleBoxes[5], m_moduleBoxes[6], m_moduleBoxes[7], rbAllUnlock,
                                   rbAllLock, rbAllNoAction, prev, next, end});
  return page;
}

QWidget* TfrmMain::BuildArchiveNamePage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);

  QLabel* intro =
      PlainLabel(T("Do políčka můžete zadat libovolný název, pod kterým se archiv zámků dokladů uloží (není povinné)."),
                 page, true);
  intro->setObjectName(QStringLiteral("Label5"));
  layout->addWidget(intro);
  layout->addSpacing(4);

  auto* nameRow = new QHBoxLayout;
  nameRow->setSpacing(8);
  QLabel* caption = PlainLabel(T("Název archivu:"), page);
  caption->setObjectName(QStringLiteral("Label6"));
  nameRow->addWidget(caption);
  edtNazevMapy = new CzechLineEdit(page);
  edtNazevMapy->setObjectName(QStringLiteral("edtNazevMapy"));
  edtNazevMapy->setMaxLength(50);
  caption->setBuddy(edtNazevMapy);
  nameRow->addWidget(edtNazevMapy, 1);
  layout->addLayout(nameRow);
  layout->addSpacing(12);

  layout->addLayout(WarningRow(page, "Image1", "Label7"));
  layout->addSpacing(8);
  QLabel* hint = PlainLabel(T(kStartHintText), page);
  hint->setObjectName(QStringLiteral("Label8"));
  layout->addWidget(hint);
  layout->addStretch(1);

  QPushButton* prev = MakeButton("btnPrev3", T("<< Zpět"), &Wizard::btnPrev3Click);
  QPushButton* start = MakeButton("btnNext3", T("Start"), &Wizard::btnNext3Click);
  QPushButton* end = MakeButton("btnKonec3", T("Konec"), &Wizard::CloseAddOn);
  layout->addLayout(ButtonRow({}, {prev, start}, end));
  SetFocusChain(kPageArchiveName, {edtNazevMapy, prev, start, end});
  return page;
}

QWidget* TfrmMain::BuildProgressPage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);

  layout->addSpacing(20);
  QLabel* wait = BoldLabel(T("Pracuji, prosím čekejte..."), page, "Label9");
  layout->addWidget(wait);
  layout->addSpacing(10);
  lblWorking = PlainLabel(QString(), page);
  lblWorking->setObjectName(QStringLiteral("lblWorking"));
  layout->addWidget(lblWorking);
  ProgressBar1 = new QProgressBar(page);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setFixedHeight(18);
  layout->addWidget(ProgressBar1);
  lblCelkem = PlainLabel(QString(), page);
  lblCelkem->setObjectName(QStringLiteral("lblCelkem"));
  layout->addWidget(lblCelkem);
  lblZavreni = BoldLabel(T("Doplněk se zavře, jakmile operace skončí."), page, "lblZavreni");
  lblZavreni->hide();
  layout->addWidget(lblZavreni);
  layout->addStretch(1);

  QPushButton* abort = MakeButton("btnPrerusit", T("Přerušit"), &Wizard::btnPrerusitClick);
  layout->addLayout(ButtonRow({}, {abort}, nullptr));
  SetFocusChain(kPageProgress, {abort});
  return page;
}

QWidget* TfrmMain::BuildSaveDonePage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);

  QLabel* done = PlainLabel(
      T("Operace byla dokončena. Nyní můžete v Money provést požadovanou činnost (např. přepočet pořizova- cích "
        "cen zásob). Budete-li chtít vrátit zámky dokladů do původního stavu, znovu spusťte tento program."),
      page, true);
  done->setObjectName(QStringLiteral("Label11"));
  layout->addWidget(done);
  lblSouhrnUlozeni = OutcomeLabel(page, "lblSouhrnUlozeni");
  layout->addWidget(lblSouhrnUlozeni);
  layout->addSpacing(10);
  LinkLabel* web = MakeLink("lblTarvellWebPage1", T(kDownloadText), &Wizard::lblTarvellWebPage1Click);
  layout->addLayout(TipRow(page, "Label13", web));
  layout->addStretch(1);

  LinkLabel* back = MakeLink("Label10", T(kBackToStartText), &Wizard::Label10Click);
  QPushButton* end = MakeButton("btnKonec5", T("Konec"), &Wizard::CloseAddOn);
  layout->addLayout(ButtonRow({back}, {}, end));
  SetFocusChain(kPageSaveDone, {web, back, end});
  return page;
}

QWidget* TfrmMain::BuildErrorPage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);

  QLabel* text = PlainLabel(T("V průběhu operace došlo k chybě nebo byla stornována."), page, true);
  text->setObjectName(QStringLiteral("Label14"));
  layout->addWidget(text);
  lblSouhrnChyby = OutcomeLabel(page, "lblSouhrnChyby");
  layout->addWidget(lblSouhrnChyby);
  layout->addStretch(1);

  LinkLabel* back = MakeLink("Label12", T(kBackToStartText), &Wizard::Label12Click);
  QPushButton* end = MakeButton("btnKonec6", T("Konec"), &Wizard::CloseAddOn);
  layout->addLayout(ButtonRow({back}, {}, end));
  SetFocusChain(kPageError, {back, end});
  return page;
}

QWidget* TfrmMain::BuildArchiveListPage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);

  QLabel* text = PlainLabel(
      T("Ze seznamu vyberte požadovaný archiv, podle kterého program obnoví zámky dokladů do původního stavu ."), page,
      true);
  text->setObjectName(QStringLiteral("Label15"));
  layout->addWidget(text);

  grInfoFiles = new QTableView(page);
  grInfoFiles->setObjectName(QStringLiteral("grInfoFiles"));
  layout->addWidget(grInfoFiles, 1);

  btnDelete = MakeButton("btnDelete", T("Smazat"), &Wizard::btnDeleteClick);
  QPushButton* prev = MakeButton("btnPrev4", T("<< Zpět"), &Wizard::btnPrev4Click);
  btnNext4 = MakeButton("btnNext4", T("Další >>"), &Wizard::btnNext4Click);
  QPushButton* end = MakeButton("btnkonec7", T("Konec"), &Wizard::CloseAddOn);
  layout->addLayout(ButtonRow({btnDelete}, {prev, btnNext4}, end));
  SetFocusChain(kPageArchiveList, {grInfoFiles, btnDelete, prev, btnNext4, end});
  return page;
}

QWidget* TfrmMain::BuildRecapitulationPage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);
  layout->setSpacing(4);

  layout->addWidget(BoldLabel(T("Obnovení zámků dokladů - rekapitulace:"), page, "Label16"));

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(1);
  grid->setColumnStretch(1, 1);
  struct Pair {
    const char* caption;
    const char* captionName;
    QLabel** value;
    const char* valueName;
    bool bold;
    bool twoLines;
  };
  const Pair pairs[] = {
      {"Název archivu:", "Label17", &lblNazevMapy, "lblNazevMapy", false, false},
      {"Název agendy:", "Label18", &lblNazevArchAgendy, "lblNazevArchAgendy", true, false},
      {"Datum uložení:", "Label19", &lblDatumUlozeni, "lblDatumUlozeni", false, false},
      {"Čas uložení:", "Label20", &lblCasUlozeni, "lblCasUlozeni", false, false},
      {"Filtr roků:", "Label21", &lblFiltrRoku, "lblFiltrRoku", false, true},
      {"Filtr dokladů:", "Label24", &lblFiltrDokladu, "lblFiltrDokladu", false, true},
  };
  int line = 0;
  for (const Pair& pair : pairs) {
    QLabel* caption = PlainLabel(T(pair.caption), page);
    caption->setObjectName(QLatin1String(pair.captionName));
    grid->addWidget(caption, line, 0, Qt::AlignTop);
    // One-line values are cut with "…" rather than widening the page; the tooltip shows them whole.
    QLabel* value = pair.twoLines ? PlainLabel(QString(), page) : new ElidedLabel(page);
    if (pair.bold) MakeBold(value);
    value->setObjectName(QLatin1String(pair.valueName));
    value->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (pair.twoLines) {
      value->setWordWrap(true);
      value->setFixedHeight(2 * value->fontMetrics().lineSpacing() + 1);
    }
    *pair.value = value;
    grid->addWidget(value, line, 1);
    ++line;
  }
  layout->addLayout(grid);
  // Shown only for an archive whose save did not finish.
  lblNedokonceny = BoldLabel(QString(), page, "lblNedokonceny");
  lblNedokonceny->setWordWrap(true);
  lblNedokonceny->setStyleSheet(QStringLiteral("color: #a00000;"));
  lblNedokonceny->hide();
  layout->addWidget(lblNedokonceny);
  layout->addSpacing(4);
  layout->addLayout(WarningRow(page, "Image2", "Label25"));
  QLabel* hint = PlainLabel(T(kStartHintText), page);
  hint->setObjectName(QStringLiteral("Label26"));
  layout->addWidget(hint);
  layout->addStretch(1);

  // What the restore would change, counted only when the user asks.
  LinkLabel* compare = MakeLink("lblPorovnat", T("Porovnat s Money"), &Wizard::lblPorovnatClick);
  QPushButton* prev = MakeButton("btnPrev5", T("<< Zpět"), &Wizard::btnPrev5Click);
  QPushButton* start = MakeButton("btnNext5", T("Start"), &Wizard::btnNext5Click);
  QPushButton* end = MakeButton("btnkonec8", T("Konec"), &Wizard::CloseAddOn);
  layout->addLayout(ButtonRow({compare}, {prev, start}, end));
  SetFocusChain(kPageRecapitulation, {compare, prev, start, end});
  return page;
}

QWidget* TfrmMain::BuildRestoreDonePage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);

  QLabel* done = PlainLabel(T("Operace byla dokončena."), page, true);
  done->setObjectName(QStringLiteral("Label27"));
  layout->addWidget(done);
  lblSouhrnObnoveni = OutcomeLabel(page, "lblSouhrnObnoveni");
  layout->addWidget(lblSouhrnObnoveni);
  layout->addSpacing(10);
  LinkLabel* web = MakeLink("lblTarvellWebPage2", T(kDownloadText), &Wizard::lblTarvellWebPage2Click);
  layout->addLayout(TipRow(page, "Label28", web));
  layout->addStretch(1);

  LinkLabel* back = MakeLink("Label22", T(kBackToStartText), &Wizard::Label22Click);
  QPushButton* end = MakeButton("btnKonec9", T("Konec"), &Wizard::CloseAddOn);
  layout->addLayout(ButtonRow({back}, {}, end));
  SetFocusChain(kPageRestoreDone, {web, back, end});
  return page;
}

}  // namespace vorlend::ui

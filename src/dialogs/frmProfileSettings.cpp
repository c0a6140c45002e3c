#include "dialogs/frmProfileSettings.h"

#include "dialogs/ReturnKeyFilter.h"
#include "dialogs/frmProfileSelection.h"
#include "platform/MessageSink.h"
#include "platform/SystemTexts.h"
#include "profiles/Profile.h"
#include "service/ServiceUrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>

frmProfileSettings::frmProfileSettings(MessageSink &messages, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_messages(messages), m_editor(messages)
{
    setObjectName(QStringLiteral("frmProfileSettings"));
    setWindowTitle(QStringLiteral("Profile Settings"));
    setModal(true);
    const TwipsPlacer twips(*this);
    setFixedSize(twips.px(7875), twips.px(5055));

    cmdSave = new QPushButton(QStringLiteral("&Update Profile"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdSave->setDefault(true);
    cmdDeleteProfile = new QPushButton(QStringLiteral("Delete Profile"), this);
    cmdDeleteProfile->setObjectName(QStringLiteral("cmdDeleteProfile"));

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    auto *profilePage = new QWidget;
    auto *schedulePage = new QWidget;
    auto *rulesPage = new QWidget;
    SSTab1->addTab(profilePage, QStringLiteral("Profile"));
    SSTab1->addTab(schedulePage, QStringLiteral("Download Schedule"));
    SSTab1->addTab(rulesPage, QLatin1String(SystemTexts::fileStoreageRules));
    SSTab1->setCurrentIndex(0);

    m_placements = {{SSTab1, {120, 120, 7695, 4335}, false},
                    {cmdDeleteProfile, {3960, 4560, 1935, 375}, false},
                    {cmdSave, {6000, 4560, 1815, 375}, false}};
    buildProfileTab(profilePage);
    buildScheduleTab(schedulePage);
    buildRulesTab(rulesPage);

    // "&Update Profile" comes first; then each tab's controls in reading order.
    setTabOrder(cmdSave, cmdDeleteProfile);
    setTabOrder(cmdDeleteProfile, SSTab1);
    QWidget *previous = SSTab1;
    for (QWidget *next : std::initializer_list<QWidget *>{
             txtFirstName, txtLastName, txtDepartment,  txtURL,      txtLogin,     txtPassword,
             txtGUID,      chkSunday,   chkMonday,      chkTuesday,  chkWednesday, chkThursday,
             chkFriday,    chkSaturday, cmdPoll,        listRules,   cmdAdd,       cmdDelete,
             cmdMoveUp,    cmdMoveDown, cmbRuleChoices, txtDownload, cmdOpenDialog}) {
        setTabOrder(previous, next);
        previous = next;
    }

    connect(cmdSave, &QPushButton::clicked, this, &frmProfileSettings::onSave);
    connect(cmdDeleteProfile, &QPushButton::clicked, this, &frmProfileSettings::onDeleteProfile);
    connect(cmdAdd, &QPushButton::clicked, this, &frmProfileSettings::onAdd);
    connect(cmdDelete, &QPushButton::clicked, this, &frmProfileSettings::onDelete);
    connect(cmdMoveUp, &QPushButton::clicked, this, [this] { moveRule(-1); });
    connect(cmdMoveDown, &QPushButton::clicked, this, [this] { moveRule(1); });
    connect(cmdOpenDialog, &QPushButton::clicked, this, &frmProfileSettings::onOpenDialog);
    // Every change of the rules or of the folder shows in the preview.
    const auto rulesChanged = [this] {
        updateRuleCommands();
        updatePreview();
    };
    QAbstractItemModel *ruleLines = listRules->model();
    connect(ruleLines, &QAbstractItemModel::rowsInserted, this, rulesChanged);
    connect(ruleLines, &QAbstractItemModel::rowsRemoved, this, rulesChanged);
    connect(ruleLines, &QAbstractItemModel::dataChanged, this, rulesChanged);
    connect(txtDownload, &QLineEdit::textChanged, this, &frmProfileSettings::updatePreview);
    connect(listRules, &QListWidget::itemSelectionChanged, this,
            &frmProfileSettings::updateRuleCommands);
    connect(cmbRuleChoices, &QComboBox::currentTextChanged, cmbRuleChoices, &QWidget::setToolTip);

    FillRuleChoices();
    applyLayout();
    updateRuleCommands();
    updatePreview();
    cmdSave->setFocus();
    m_shown = fields();
}

frmProfileSettings::~frmProfileSettings() = default;

QGroupBox *frmProfileSettings::tabFrame(QWidget *page, const char *name, const char *caption,
                                        const TwipsBox &box)
{
    auto *frame = new QGroupBox(QLatin1String(caption), page);
    frame->setObjectName(QLatin1String(name));
    m_placements.append({frame, box, true});
    return frame;
}

QLabel *frmProfileSettings::caption(QLabel *&label, const char *name, const char *text,
                                    QWidget *parent, const TwipsBox &box)
{
    label = new QLabel(QLatin1String(text), parent);
    label->setObjectName(QLatin1String(name));
    m_placements.append({label, box, false});
    return label;
}

void frmProfileSettings::buildProfileTab(QWidget *page)
{
    frameDisplaySettings =
        tabFrame(page, "frameDisplaySettings", "Identity Information", {240, 480, 7215, 3615});
    QWidget *frame = frameDisplaySettings;

    auto field = [&](QLineEdit *&edit, const char *name, QLabel *&label, const char *labelName,
                     const char *text, const TwipsBox &labelBox, const TwipsBox &editBox) {
        caption(label, labelName, text, frame, labelBox);
        edit = new QLineEdit(frame);
        edit->setObjectName(QLatin1String(name));
        label->setBuddy(edit);
        m_placements.append({edit, editBox, false});
    };
    field(txtFirstName, "txtFirstName", lblFirstName, "lblFirstName",
          "First Name:", {240, 360, 795, 195}, {240, 600, 2295, 285});
    field(txtLastName, "txtLastName", lblLastName, "lblLastName",
          "Last Name:", {2760, 360, 810, 195}, {2760, 600, 2775, 285});
    field(txtDepartment, "txtDepartment", lblDepartment, "lblDepartment",
          "Department:", {240, 960, 870, 195}, {240, 1200, 5415, 285});
    field(txtURL, "txtURL", lblWebSite, "lblWebSite", "Website URL:", {240, 1560, 1005, 195},
          {240, 1800, 5415, 285});
    field(txtLogin, "txtLogin", lblLogin, "lblLogin", "Login:", {240, 2280, 435, 195},
          {240, 2520, 1695, 285});
    // The password is shown as typed, so that it can be checked by eye.
    field(txtPassword, "txtPassword", lblPassword, "lblPassword",
          "Password:", {2040, 2280, 735, 195}, {2040, 2520, 1695, 285});
    field(txtGUID, "txtGUID", lbGUID, "lbGUID", "GUID Checksum:", {3960, 2280, 1245, 195},
          {3960, 2520, 2775, 285});
    txtGUID->setText(QStringLiteral("XXXXX-XXXXX-XXXXX"));
    // Said, not refused: some offices run the service inside their own network.
    caption(lblInsecureURL, "lblInsecureURL", "", frame, {240, 2085, 6735, 195});
    lblInsecureURL->setText(ServiceUrls::inClearText());
    lblInsecureURL->hide();
    connect(txtURL, &QLineEdit::textChanged, lblInsecureURL, [this](const QString &url) {
        lblInsecureURL->setVisible(ServiceUrls::travelsInClear(url));
    });
}

void frmProfileSettings::buildScheduleTab(QWidget *page)
{
    frameDownloadSchedule =
        tabFrame(page, "frameDownloadSchedule", "Download Schedule", {240, 480, 7215, 3615});
    QWidget *frame = frameDownloadSchedule;

    caption(lblDaysOfWeek, "lblDaysOfWeek", "Days Of Week:", frame, {240, 360, 1215, 255});
    auto day = [&](QCheckBox *&box, const char *name, const char *text, double top, double width) {
        box = new QCheckBox(QLatin1String(text), frame);
        box->setObjectName(QLatin1String(name));
        // Not stored while the schedule does not work (the note below says so).
        box->setEnabled(false);
        m_placements.append({box, {240, top, width, 255}, false});
    };
    day(chkSunday, "chkSunday", "Sunday", 600, 975);
    day(chkMonday, "chkMonday", "Monday", 840, 975);
    day(chkTuesday, "chkTuesday", "Tuesday", 1080, 975);
    day(chkWednesday, "chkWednesday", "Wednesday", 1320, 1215);
    day(chkThursday, "chkThursday", "Thursday", 1560, 975);
    day(chkFriday, "chkFriday", "Friday", 1800, 975);
    day(chkSaturday, "chkSaturday", "Saturday", 2040, 975);

    caption(lblFrequency, "lblFrequency", "Download Frequency:", frame, {2280, 360, 1560, 195});
    cmdPoll = new QComboBox(frame);
    cmdPoll->setObjectName(QStringLiteral("cmdPoll"));
    cmdPoll->addItems(ProfileEditor::pollFrequencies());
    cmdPoll->setCurrentIndex(-1);
    lblFrequency->setBuddy(cmdPoll);
    m_placements.append({cmdPoll, {2280, 600, 1095, 315}, false});

    Label1 = new QLabel(QStringLiteral("* Day Of Week download feature is not currently working "
                                       "in the Alpha test release."),
                        frame);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_placements.append({Label1, {480, 2640, 5805, 195}, false});
}

void frmProfileSettings::buildRulesTab(QWidget *page)
{
    QWidget *frame = frameFileRules =
        tabFrame(page, "frameFileRules", SystemTexts::fileStoreageRules, {120, 480, 7455, 3735});
    const auto button = [&](QPushButton *&control, const char *name, const char *text,
                            const TwipsBox &box) {
        control = new QPushButton(QLatin1String(text), frame);
        control->setObjectName(QLatin1String(name));
        control->setAutoDefault(false);
        m_placements.append({control, box, false});
    };

    // The list is wide enough for the longest rule choice; the commands on
    // the selected rule sit below it and to its right.
    caption(lblCurrentRules, "lblCurrentRules", "Current Rules", frame, {240, 360, 960, 195});
    listRules = new QListWidget(frame);
    listRules->setObjectName(QStringLiteral("listRules"));
    lblCurrentRules->setBuddy(listRules);
    m_placements.append({listRules, {240, 600, 3855, 1440}, false});
    button(cmdAdd, "cmdAdd", "Add", {900, 2100, 1215, 375});
    button(cmdDelete, "cmdDelete", "Delete", {2220, 2100, 1215, 375});
    button(cmdMoveUp, "cmdMoveUp", "&Move Up", {4215, 1080, 1215, 375});
    button(cmdMoveDown, "cmdMoveDown", "Move &Down", {4215, 1560, 1215, 375});

    caption(lblRuleChoices, "lblRuleChoices", "Rule Choices", frame, {4215, 360, 945, 195});
    cmbRuleChoices = new QComboBox(frame);
    cmbRuleChoices->setObjectName(QStringLiteral("cmbRuleChoices"));
    cmbRuleChoices->setEditable(true);
    // A typed text is a rule of its own, not a new choice.
    cmbRuleChoices->setInsertPolicy(QComboBox::NoInsert);
    lblRuleChoices->setBuddy(cmbRuleChoices);
    // Enter in the box adds the rule typed or chosen, rather than saving.
    cmbRuleChoices->lineEdit()->installEventFilter(
        new ReturnKeyFilter([this] { onAdd(); }, cmbRuleChoices));
    m_placements.append({cmbRuleChoices, {4215, 600, 3120, 315}, false});

    QLabel *example = nullptr;
    caption(example, "lblPreviewCaption", "Example:", frame, {240, 2580, 900, 225});
    caption(lblPreview, "lblPreview", "", frame, {1200, 2580, 6135, 225});

    frameDownloadPath = new QGroupBox(QStringLiteral("Download Location"), frame);
    frameDownloadPath->setObjectName(QStringLiteral("frameDownloadPath"));
    m_placements.append({frameDownloadPath, {120, 2880, 7095, 735}, false});
    txtDownload = new QLineEdit(frameDownloadPath);
    txtDownload->setObjectName(QStringLiteral("txtDownload"));
    m_placements.append({txtDownload, {120, 240, 6255, 285}, false});
    cmdOpenDialog = new QPushButton(QStringLiteral("..."), frameDownloadPath);
    cmdOpenDialog->setObjectName(QStringLiteral("cmdOpenDialog"));
    cmdOpenDialog->setAutoDefault(false);
    cmdOpenDialog->setToolTip(QStringLiteral("Choose the download folder"));
    m_placements.append({cmdOpenDialog, {6480, 240, 375, 285}, false});
}

QList<QCheckBox *> frmProfileSettings::dayBoxes() const
{
    return {chkSunday, chkMonday, chkTuesday, chkWednesday, chkThursday, chkFriday, chkSaturday};
}

QStringList frmProfileSettings::rules() const
{
    QStringList stored;
    for (int row = 0; row < listRules->count(); ++row)
        stored << listRules->item(row)->data(Qt::UserRole).toString();
    return stored;
}

void frmProfileSettings::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The tab pages are placed now, so that their offset inside the tab
    // control is known.
    applyLayout();
    updatePreview();
}

void frmProfileSettings::applyLayout()
{
    const TwipsPlacer twips(*this);
    for (const Placement &placement : std::as_const(m_placements)) {
        QWidget *widget = placement.widget;
        TwipsBox box = placement.box;
        if (placement.onTabPage) {
            // Design positions on a tab count from the tab control's corner.
            const QPoint offset = widget->parentWidget()->mapTo(SSTab1, QPoint());
            box.left -= twips.twips(offset.x());
            box.top -= twips.twips(offset.y());
        }
        // What grows stays inside its container.
        twips.place(widget, box, widget->parentWidget()->width() - twips.px(120));
    }
    TwipsPlacer::sameWidth({cmdMoveUp, cmdMoveDown});
    // The download folder's box and its button form one row of one height,
    // centred in the frame below the frame's caption.
    const QRect inside = frameDownloadPath->contentsRect();
    const int rowHeight = txtDownload->height();
    const int top = inside.top() + (inside.height() - rowHeight) / 2;
    txtDownload->move(txtDownload->x(), top);
    cmdOpenDialog->setGeometry(cmdOpenDialog->x(), top, cmdOpenDialog->width(), rowHeight);
}

void frmProfileSettings::FillRuleChoices()
{
    cmbRuleChoices->addItems(ProfileEditor::ruleChoices());
    cmbRuleChoices->setCurrentIndex(-1);
    cmbRuleChoices->setEditText(QString());
    // The choices open in full however narrow the box: the three date rules
    // differ only at their ends.
    QAbstractItemView *popup = cmbRuleChoices->view();
    popup->setTextElideMode(Qt::ElideNone);
    popup->setMinimumWidth(popup->sizeHintForColumn(0) + 2 * popup->frameWidth() +
                           popup->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

ProfileEditor::Fields frmProfileSettings::fields() const
{
    ProfileEditor::Fields fields;
    fields.firstName = txtFirstName->text();
    fields.lastName = txtLastName->text();
    fields.department = txtDepartment->text();
    fields.url = txtURL->text();
    fields.login = txtLogin->text();
    fields.password = txtPassword->text();
    fields.guid = txtGUID->text();
    fields.downloadFolder = txtDownload->text();
    fields.rules = rules();
    fields.frequency = cmdPoll->currentIndex();
    const QList<QCheckBox *> days = dayBoxes();
    for (int day = 0; day < 7; ++day)
        fields.days[size_t(day)] = days[day]->isChecked();
    return fields;
}

void frmProfileSettings::SetupFields(const QString &Path)
{
    const ProfileEditor::Fields fields = m_editor.load(Path);
    txtFirstName->setText(fields.firstName);
    txtLastName->setText(fields.lastName);
    txtDepartment->setText(fields.department);
    txtGUID->setText(fields.guid);
    txtLogin->setText(fields.login);
    txtPassword->setText(fields.password);
    const QList<QCheckBox *> days = dayBoxes();
    for (int day = 0; day < 7; ++day) {
        if (fields.days[size_t(day)])
            days[day]->setChecked(true);
    }
    txtDownload->setText(fields.downloadFolder);
    txtURL->setText(fields.url);
    for (const QString &rule : fields.rules)
        addRule(rule);
    cmdPoll->clear();
    cmdPoll->addItems(m_editor.frequencyChoices());
    cmdPoll->setCurrentIndex(fields.frequency);
    // A profile never saved has no file to delete.
    cmdDeleteProfile->setEnabled(m_editor.hasFile());
    applyLayout();
    m_shown = this->fields();
}

void frmProfileSettings::report(const ProfileEditor::Outcome &outcome)
{
    QWidget *const focus[] = {nullptr,     txtFirstName, txtLastName, txtLogin,
                              txtPassword, txtGUID,      txtDownload};
    QWidget *field = focus[int(outcome.field)];
    showField(field);
    m_messages.post(outcome.message.text, outcome.message.title, outcome.message.icon);
    // The box took the focus; what is typed next goes into the field.
    showField(field);
    if (outcome.done)
        accept();
}

void frmProfileSettings::showField(QWidget *field)
{
    if (!field)
        return;
    for (int tab = 0; tab < SSTab1->count(); ++tab) {
        if (SSTab1->widget(tab)->isAncestorOf(field))
            SSTab1->setCurrentIndex(tab);
    }
    field->setFocus(Qt::OtherFocusReason);
}

bool frmProfileSettings::ValidateFields()
{
    const std::optional<ProfileEditor::Outcome> problem = m_editor.check(fields());
    if (problem)
        report(*problem);
    return !problem;
}

void frmProfileSettings::StoreFields()
{
    txtURL->setText(m_editor.store(fields()));
}

void frmProfileSettings::onSave()
{
    if (!ValidateFields())
        return;
    if (!m_editor.acceptFolder(txtDownload->text())) {
        showField(txtDownload);
        return;
    }
    StoreFields();
    report(m_editor.save());
}

void frmProfileSettings::onDeleteProfile()
{
    // The file holds the stored password: asked first.
    if (m_editor.hasFile() && !m_editor.confirmDelete())
        return;
    report(m_editor.deleteProfile());
}

void frmProfileSettings::reject()
{
    if (m_editor.confirmDiscard(m_shown, fields()))
        QDialog::reject();
}

void frmProfileSettings::addRule(const QString &rule)
{
    auto *line = new QListWidgetItem(ProfileEditor::ruleDisplayName(rule));
    line->setData(Qt::UserRole, rule);
    line->setToolTip(line->text());
    listRules->addItem(line);
}

void frmProfileSettings::onAdd()
{
    // An empty rule would end the rule list when the file is read back.
    const QString rule = cmbRuleChoices->currentText();
    if (rule.trimmed().isEmpty())
        return;
    addRule(rule);
}

void frmProfileSettings::onDelete()
{
    const QList<QListWidgetItem *> selected = listRules->selectedItems();
    if (selected.isEmpty())
        return;
    delete selected.first();
}

void frmProfileSettings::moveRule(int step)
{
    const QList<QListWidgetItem *> selected = listRules->selectedItems();
    if (selected.isEmpty())
        return;
    const int from = listRules->row(selected.first());
    const int to = from + step;
    if (to < 0 || to >= listRules->count())
        return;
    QListWidgetItem *line = listRules->takeItem(from);
    listRules->insertItem(to, line);
    listRules->setCurrentItem(line);
}

void frmProfileSettings::updateRuleCommands()
{
    const QList<QListWidgetItem *> selected = listRules->selectedItems();
    const int row = selected.isEmpty() ? -1 : listRules->row(selected.first());
    cmdMoveUp->setEnabled(row > 0);
    cmdMoveDown->setEnabled(row >= 0 && row < listRules->count() - 1);
}

void frmProfileSettings::updatePreview()
{
    const QString path = ProfileEditor::previewPath(txtDownload->text(), rules());
    lblPreview->setToolTip(path);
    // A long path loses its start, so that the file name stays in view.
    lblPreview->setText(
        lblPreview->fontMetrics().elidedText(path, Qt::ElideLeft, lblPreview->width()));
}

void frmProfileSettings::onOpenDialog()
{
    // A window-modal chooser over the dialog; the choice arrives by signal.
    auto *chooser = new QFileDialog(this, QStringLiteral("Download Location"), txtDownload->text());
    chooser->setObjectName(QStringLiteral("folderChooser"));
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setFileMode(QFileDialog::Directory);
    chooser->setOption(QFileDialog::ShowDirsOnly);
    connect(chooser, &QFileDialog::fileSelected, this, [this](const QString &folder) {
        txtDownload->setText(QDir::toNativeSeparators(folder));
    });
    chooser->open();
}

void frmProfileSettings::done(int result)
{
    // Every way of closing shows the outcome in the selection window.
    if (gFrmParent) {
        gFrmParent->LoadProfileListEx();
        gFrmParent->selectProfile(m_editor.profile().gStrProfilePath);
    }
    QDialog::done(result);
}

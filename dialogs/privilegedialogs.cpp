#include "dialogs/privilegedialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

TFormPrivilege::TFormPrivilege(PrivilegeTable table, const QString &caption, const QString &info,
                               const QString &hint, QWidget *parent)
    : QDialog(parent)
    , m_table(table)
{
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    m_layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    auto *icon = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop);
    LabelInfo = new QLabel(info, this);
    LabelInfo->setObjectName(QStringLiteral("LabelInfo"));
    LabelInfo->setWordWrap(true);
    LabelInfo->setMinimumWidth(360);
    LabelInfo->setToolTip(hint);
    top->addWidget(icon, 0);
    top->addWidget(LabelInfo, 1);
    m_layout->addLayout(top);

    m_fields = new QGridLayout;
    m_layout->addLayout(m_fields);
    m_boxGrid = new QGridLayout;
    m_layout->addLayout(m_boxGrid);

    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonOk = new QPushButton(QStringLiteral("&Ok"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonApply = new QPushButton(QStringLiteral("&Apply"), this);
    ButtonApply->setObjectName(QStringLiteral("ButtonApply"));
    ButtonApply->setEnabled(false);
    // Enter in a field must not send a change behind the user's back.
    for (QPushButton *button : {ButtonCancel, ButtonOk, ButtonApply})
        button->setAutoDefault(false);

    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonApply, &QPushButton::clicked, this, [this] { Q_EMIT applyRequested(); });
    connect(ButtonOk, &QPushButton::clicked, this, [this] {
        m_closeWhenDone = true;
        Q_EMIT applyRequested();
    });
}

QLineEdit *TFormPrivilege::addField(const QString &objectName, const QString &label)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(objectName);
    edit->setAccessibleName(QString(label).remove(QLatin1Char(':')).trimmed());
    auto *caption = new QLabel(label, this);
    caption->setBuddy(edit);
    const int row = m_fields->rowCount();
    m_fields->addWidget(caption, row, 0);
    m_fields->addWidget(edit, row, 1);
    connect(edit, &QLineEdit::textChanged, this, [this] { ButtonApply->setEnabled(true); });
    return edit;
}

void TFormPrivilege::addBoxes(const QList<QPair<QString, Privilege>> &boxes, const QStringList &objectNames,
                              int leftCount)
{
    for (int i = 0; i < boxes.size(); ++i) {
        auto *box = new QCheckBox(boxes.at(i).first, this);
        box->setObjectName(objectNames.value(i));
        m_boxes[size_t(boxes.at(i).second)] = box;
        const bool left = i < leftCount;
        m_boxGrid->addWidget(box, left ? i : i - leftCount, left ? 0 : 1);
        connect(box, &QCheckBox::clicked, this, [this] { ButtonApply->setEnabled(true); });
    }
}

void TFormPrivilege::finishLayout()
{
    // Tab goes through the fields, then the boxes as they stand, then the buttons.
    QList<QWidget *> order;
    for (QLineEdit *edit : {m_host, m_database, m_user, m_password}) {
        if (edit)
            order << edit;
    }
    std::sort(order.begin(), order.end(), [this](QWidget *a, QWidget *b) {
        return m_fields->indexOf(a) < m_fields->indexOf(b);
    });
    for (int i = 0; i < m_boxGrid->count(); ++i)
        order << m_boxGrid->itemAt(i)->widget();
    order << ButtonCancel << ButtonOk << ButtonApply;
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonCancel);
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonApply);
    m_layout->addLayout(buttons);
}

void TFormPrivilege::prepareNew()
{
    for (QLineEdit *edit : {m_host, m_user, m_password, m_database}) {
        if (edit)
            edit->clear();
    }
    for (QCheckBox *box : m_boxes) {
        if (box)
            box->setChecked(false);
    }
    m_shownPassword.clear();
    m_closeWhenDone = false;
    ButtonApply->setEnabled(false);
    for (QLineEdit *edit : std::as_const(m_keyFields))
        edit->setEnabled(true);
    focusFirstField();
}

void TFormPrivilege::prepareChange(const TPrivilegeRow &row)
{
    m_host->setText(row.host);
    if (m_user)
        m_user->setText(row.user);
    if (m_password)
        m_password->setText(row.password);
    if (m_database)
        m_database->setText(row.database);
    m_shownPassword = row.password;
    m_closeWhenDone = false;
    for (int p = 0; p < PrivilegeCount; ++p) {
        if (QCheckBox *box = m_boxes[size_t(p)])
            box->setChecked(row.privileges[size_t(p)]);
    }
    ButtonApply->setEnabled(false);
    for (QLineEdit *edit : std::as_const(m_keyFields))
        edit->setEnabled(false);
    focusFirstField();
}

void TFormPrivilege::focusFirstField()
{
    // The first field that can be typed in; the boxes when the keys are all fixed.
    for (int i = 0; i < m_fields->count(); ++i) {
        auto *edit = qobject_cast<QLineEdit *>(m_fields->itemAt(i)->widget());
        if (edit && edit->isEnabled()) {
            edit->setFocus();
            return;
        }
    }
    if (m_boxGrid->count() > 0)
        m_boxGrid->itemAt(0)->widget()->setFocus();
}

void TFormPrivilege::changeFinished(bool succeeded)
{
    if (!m_closeWhenDone)
        return;
    m_closeWhenDone = false;
    if (succeeded)
        accept();
}

bool TFormPrivilege::newMode() const
{
    return m_host->isEnabled();
}

TPrivilegeRow TFormPrivilege::row() const
{
    TPrivilegeRow row;
    row.host = m_host->text();
    // The user grid shows a role by this marker in place of its empty host.
    row.role = m_table == PrivilegeTable::User && row.host == RoleMarker;
    if (m_user)
        row.user = m_user->text();
    if (m_password) {
        row.password = m_password->text();
        // The field shows the stored, encoded password until it is edited.
        row.newPassword = !newMode() && row.password != m_shownPassword;
    }
    if (m_database)
        row.database = m_database->text();
    for (int p = 0; p < PrivilegeCount; ++p) {
        if (QCheckBox *box = m_boxes[size_t(p)])
            row.privileges[size_t(p)] = box->isChecked();
    }
    return row;
}

namespace {

// The boxes of the host and db dialogs, left column first.
const QList<QPair<QString, Privilege>> TableBoxes = {
    {QStringLiteral("Select"), PrivSelect}, {QStringLiteral("Insert"), PrivInsert},
    {QStringLiteral("Update"), PrivUpdate}, {QStringLiteral("Create"), PrivCreate},
    {QStringLiteral("Delete"), PrivDelete}, {QStringLiteral("Drop"), PrivDrop},
    {QStringLiteral("Grand"), PrivGrant},   {QStringLiteral("References"), PrivReferences},
    {QStringLiteral("Index"), PrivIndex},   {QStringLiteral("Alter"), PrivAlter},
};

const QStringList TableBoxNames = {
    QStringLiteral("CheckBox_select"), QStringLiteral("CheckBox_insert"), QStringLiteral("CheckBox_update"),
    QStringLiteral("CheckBox_create"), QStringLiteral("CheckBox_delete"), QStringLiteral("CheckBox_drop"),
    QStringLiteral("CheckBox_grand"),  QStringLiteral("CheckBox_ref"),    QStringLiteral("CheckBox_index"),
    QStringLiteral("CheckBox_alter"),
};

} // namespace

TFormUser::TFormUser(QWidget *parent)
    : TFormPrivilege(
          PrivilegeTable::User, QStringLiteral("User Management"),
          QStringLiteral("Identity checking is performed using the three user table scope fields (Host, User and "
                         "Password). A connection is accepted only from a host and with a user name that match a "
                         "row, and with that row's password. The privileges ticked here hold for every database "
                         "of the server."),
          QStringLiteral("Values in the user table scope fields may be specified as follows:\n"
                         "- A Host value may be a host name or an IP number, or 'localhost' for the local host.\n"
                         "- The wildcard characters % and _ may be used in the Host field; a Host value of % "
                         "matches any host.\n"
                         "- A Host value such as 192.58.197.0/255.255.255.0 is an IP number with a netmask: it "
                         "matches every host whose IP number ANDed with the netmask gives the IP number.\n"
                         "- A blank User value matches any user name (an anonymous user)."),
          parent)
{
    setObjectName(QStringLiteral("FormUser"));
    Edit1 = addField(QStringLiteral("Edit1"), QStringLiteral("Host :"));
    Edit2 = addField(QStringLiteral("Edit2"), QStringLiteral("User :"));
    Edit3 = addField(QStringLiteral("Edit3"), QStringLiteral("Password :"));
    // Masked as in the login dialog: the text is a password, typed or stored.
    Edit3->setEchoMode(QLineEdit::Password);
    m_host = Edit1;
    m_user = Edit2;
    m_password = Edit3;
    m_keyFields = {Edit1};
    addBoxes({{QStringLiteral("Select"), PrivSelect},
              {QStringLiteral("Insert"), PrivInsert},
              {QStringLiteral("Update"), PrivUpdate},
              {QStringLiteral("Create"), PrivCreate},
              {QStringLiteral("Delete"), PrivDelete},
              {QStringLiteral("Drop"), PrivDrop},
              {QStringLiteral("Reload"), PrivReload},
              {QStringLiteral("Shutdown"), PrivShutdown},
              {QStringLiteral("Process"), PrivProcess},
              {QStringLiteral("File"), PrivFile},
              {QStringLiteral("Grand"), PrivGrant},
              {QStringLiteral("References"), PrivReferences},
              {QStringLiteral("Index"), PrivIndex},
              {QStringLiteral("Alter"), PrivAlter}},
             {QStringLiteral("CheckBox1"), QStringLiteral("CheckBox2"), QStringLiteral("CheckBox3"),
              QStringLiteral("CheckBox4"), QStringLiteral("CheckBox5"), QStringLiteral("CheckBox6"),
              QStringLiteral("CheckBox7"), QStringLiteral("CheckBox8"), QStringLiteral("CheckBox9"),
              QStringLiteral("CheckBox10"), QStringLiteral("CheckBox11"), QStringLiteral("CheckBox12"),
              QStringLiteral("CheckBox13"), QStringLiteral("CheckBox14")},
             7);
    finishLayout();
}

TFormAdmHost::TFormAdmHost(QWidget *parent)
    : TFormPrivilege(
          PrivilegeTable::Host, QStringLiteral("Host Informationen"),
          QStringLiteral("When the server reads in the table, it orders the entries with the most-specific Host "
                         "values first. A Host value of % means any host and is tried last; a blank User value in "
                         "the user table means any user. A host row limits what a db row with a blank Host grants "
                         "to the hosts named here."),
          QStringLiteral("If you have problems connecting to the server, print out the user table and sort it by "
                         "hand to see where the first match is being made."),
          parent)
{
    setObjectName(QStringLiteral("FormAdmHost"));
    Edit_host = addField(QStringLiteral("Edit_host"), QStringLiteral("Host :"));
    Edit_db = addField(QStringLiteral("Edit_db"), QStringLiteral("Database :"));
    m_host = Edit_host;
    m_database = Edit_db;
    m_keyFields = {Edit_host};
    addBoxes(TableBoxes, TableBoxNames, 6);
    finishLayout();
}

TFormDb::TFormDb(QWidget *parent)
    : TFormPrivilege(
          PrivilegeTable::Db, QStringLiteral("Database Informationen"),
          QStringLiteral("The server looks in the db table for a match on the Host, Db and User fields. Host and "
                         "User are matched against the connecting host and user name, Db names the database the "
                         "ticked privileges hold for; % and _ may stand as wildcards in Host and Db."),
          QString(), parent)
{
    setObjectName(QStringLiteral("FormDb"));
    Edit_host = addField(QStringLiteral("Edit_host"), QStringLiteral("Host :"));
    Edit_db = addField(QStringLiteral("Edit_db"), QStringLiteral("Database :"));
    Edit_user = addField(QStringLiteral("Edit_user"), QStringLiteral("User :"));
    m_host = Edit_host;
    m_database = Edit_db;
    m_user = Edit_user;
    m_keyFields = {Edit_host, Edit_db, Edit_user};
    addBoxes(TableBoxes, TableBoxNames, 6);
    finishLayout();
}

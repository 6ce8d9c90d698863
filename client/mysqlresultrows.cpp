#include "client/mysqlresultrows.h"

#include <algorithm>
#include <cstring>

namespace {

QString fromClient(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace

// --- TmySQLField -------------------------------------------------------------

namespace {

constexpr unsigned int BinaryCharset = 63;

bool isTemporal(enum_field_types type)
{
    switch (type) {
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_YEAR:
        return true;
    default:
        return false;
    }
}

} // namespace

bool TmySQLField::isBinary() const
{
    if (type == MYSQL_TYPE_BIT)
        return true;
    if (charsetnr != BinaryCharset)
        return false;
    switch (type) {
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
    case MYSQL_TYPE_GEOMETRY:
        return true;
    default:
        return false;
    }
}

bool TmySQLField::isNumeric() const
{
    switch (type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
        return true;
    default:
        return false;
    }
}

QString TmySQLField::typeName() const
{
    const bool binary = charsetnr == BinaryCharset;
    QString name;
    switch (type) {
    case MYSQL_TYPE_TINY: name = QStringLiteral("TINYINT"); break;
    case MYSQL_TYPE_SHORT: name = QStringLiteral("SMALLINT"); break;
    case MYSQL_TYPE_INT24: name = QStringLiteral("MEDIUMINT"); break;
    case MYSQL_TYPE_LONG: name = QStringLiteral("INT"); break;
    case MYSQL_TYPE_LONGLONG: name = QStringLiteral("BIGINT"); break;
    case MYSQL_TYPE_FLOAT: name = QStringLiteral("FLOAT"); break;
    case MYSQL_TYPE_DOUBLE: name = QStringLiteral("DOUBLE"); break;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: name = QStringLiteral("DECIMAL"); break;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE: name = QStringLiteral("DATE"); break;
    case MYSQL_TYPE_TIME: name = QStringLiteral("TIME"); break;
    case MYSQL_TYPE_DATETIME: name = QStringLiteral("DATETIME"); break;
    case MYSQL_TYPE_TIMESTAMP: name = QStringLiteral("TIMESTAMP"); break;
    case MYSQL_TYPE_YEAR: name = QStringLiteral("YEAR"); break;
    case MYSQL_TYPE_BIT: name = QStringLiteral("BIT(%1)").arg(length); break;
    case MYSQL_TYPE_GEOMETRY: name = QStringLiteral("GEOMETRY"); break;
    case MYSQL_TYPE_JSON: name = QStringLiteral("JSON"); break;
    case MYSQL_TYPE_NULL: name = QStringLiteral("NULL"); break;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB: name = binary ? QStringLiteral("BLOB") : QStringLiteral("TEXT"); break;
    case MYSQL_TYPE_STRING:
        if (flags & ENUM_FLAG)
            name = QStringLiteral("ENUM");
        else if (flags & SET_FLAG)
            name = QStringLiteral("SET");
        else
            name = binary ? QStringLiteral("BINARY") : QStringLiteral("CHAR");
        break;
    default: name = binary ? QStringLiteral("VARBINARY") : QStringLiteral("VARCHAR"); break;
    }
    if (isNumeric() && (flags & UNSIGNED_FLAG))
        name += QStringLiteral(" UNSIGNED");
    return name;
}

// --- TmySQLResultRows -------------------------------------------------------

std::vector<TmySQLField> TmySQLResultRows::readFields(MYSQL_RES *result)
{
    std::vector<TmySQLField> fields;
    const MySqlApi &api = mysqlApi;
    if (!result)
        return fields;
    const int count = api.mysql_num_fields ? int(api.mysql_num_fields(result)) : 0;
    fields.reserve(size_t(std::max(count, 0)));
    auto addField = [&fields](const MYSQL_FIELD &field) {
        TmySQLField f;
        f.name = fromClient(field.name);
        f.type = field.type;
        f.charsetnr = field.charsetnr;
        f.flags = field.flags;
        f.length = field.length;
        fields.push_back(std::move(f));
    };
    if (api.mysql_fetch_fields) {
        if (const MYSQL_FIELD *all = api.mysql_fetch_fields(result)) {
            for (int i = 0; i < count; ++i)
                addField(all[i]);
        }
    } else if (api.mysql_fetch_field) {
        while (const MYSQL_FIELD *field = api.mysql_fetch_field(result))
            addField(*field);
    }
    return fields;
}

TmySQLResultRows::TmySQLResultRows(std::vector<TmySQLField> fields)
    : m_result(nullptr)
    , m_fieldCount(int(fields.size()))
    , m_fields(std::move(fields))
{
    for (const TmySQLField &field : m_fields)
        m_fieldNames.append(field.name);
}

TmySQLResultRows::TmySQLResultRows(MYSQL_RES *result)
    : m_result(result)
{
    if (!m_result)
        return;
    const MySqlApi &api = mysqlApi;
    m_fieldCount = api.mysql_num_fields ? int(api.mysql_num_fields(m_result)) : 0;
    m_fields = readFields(m_result);
    for (const TmySQLField &field : m_fields)
        m_fieldNames.append(field.name);
    // Only text and byte columns can hold a zero byte inside a value.
    std::vector<int> checked;
    for (int i = 0; i < int(m_fields.size()); ++i) {
        if (!m_fields[size_t(i)].isNumeric() && !isTemporal(m_fields[size_t(i)].type))
            checked.push_back(i);
    }
    // Only the low 32 bits of the row count are used for reading rows.
    const quint32 rows = api.mysql_num_rows ? quint32(api.mysql_num_rows(m_result)) : 0;
    m_rows.reserve(rows);
    for (quint32 i = 0; i < rows && api.mysql_fetch_row; ++i) {
        MYSQL_ROW row = api.mysql_fetch_row(m_result);
        if (!row)
            break;
        if (!checked.empty() && api.mysql_fetch_lengths) {
            if (const unsigned long *lengths = api.mysql_fetch_lengths(m_result)) {
                for (int c : checked) {
                    const char *value = row[c];
                    if (value && lengths[c] > 0 && std::memchr(value, 0, lengths[c]))
                        m_lengths.emplace_back(quint64(i) * quint64(m_fieldCount) + quint64(c), quint32(lengths[c]));
                }
            }
        }
        m_rows.push_back(row);
    }
}

TmySQLResultRows::~TmySQLResultRows()
{
    if (m_result && mysqlApi.mysql_free_result)
        mysqlApi.mysql_free_result(m_result);
}

int TmySQLResultRows::cellLength(int row, int column) const
{
    const char *value = cell(row, column);
    if (!value)
        return 0;
    if (!m_lengths.empty()) {
        const quint64 key = quint64(row) * quint64(m_fieldCount) + quint64(column);
        const auto it = std::lower_bound(m_lengths.begin(), m_lengths.end(), key,
                                         [](const std::pair<quint64, quint32> &entry, quint64 k) {
                                             return entry.first < k;
                                         });
        if (it != m_lengths.end() && it->first == key)
            return int(it->second);
    }
    return int(std::strlen(value));
}

const QStringList &TmySQLResultRows::fieldNames() const
{
    return m_fieldNames;
}

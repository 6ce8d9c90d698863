#include "dialogs/applicationtitle.h"

namespace {

QString &title()
{
    static QString text;
    return text;
}

} // namespace

QString ApplicationTitle()
{
    return title();
}

void SetApplicationTitle(const QString &text)
{
    title() = text;
}

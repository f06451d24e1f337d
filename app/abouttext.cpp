#include "app/abouttext.h"

namespace morvane::app {

using namespace Qt::StringLiterals;

QString creditsSentence()
{
    return u"Morvane is made by its contributors: thanks to all who test it, report bugs and share new ideas."_s;
}

QString versionText(int major, int minor, int revision)
{
    return u"Version "_s + QString::number(major) + u'.' + QString::number(minor) + u'.' + QString::number(revision);
}

QString marqueeText(const QString &credits)
{
    return QString(70, u' ') + credits;
}

QString rotateLeft(const QString &text)
{
    if (text.isEmpty())
        return text;
    return text.sliced(1) + text.front();
}

} // namespace morvane::app

#include "texcfg/cfgcontent.h"

#include <QStringTokenizer>

namespace morvane::texcfg {

using namespace Qt::StringLiterals;

QString BuildCfgContent(const QString &listText, const QString &numberText, const QString &folderText,
                        const QString &commentText)
{
    constexpr QLatin1StringView crlf = "\r\n"_L1;
    const QString head = "texture "_L1 + numberText + " \""_L1 + folderText + u'/';

    QString cfg = "// "_L1 + commentText + crlf;
    if (listText.isEmpty())
        return cfg;

    qsizetype entries = listText.count(crlf) + 1;
    cfg.reserve(cfg.size() + listText.size() + entries * (head.size() + 3));
    for (QStringView entry : QStringTokenizer(listText, crlf)) {
        cfg += head;
        cfg += entry;
        cfg += u'"';
        cfg += crlf;
    }
    return cfg;
}

} // namespace morvane::texcfg

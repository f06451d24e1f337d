#include "texcfg/cfgcontent.h"

#include <algorithm>

namespace morvane::texcfg {

using namespace Qt::StringLiterals;

QString BuildCfgContent(const QString &listText, const QString &numberText, const QString &folderText,
                        const QString &commentText)
{
    constexpr QStringView CrLf = u"\r\n";
    const QString head = "texture "_L1 + numberText + " \""_L1 + folderText + u'/';
    const QString commentLine = "// "_L1 + commentText + CrLf;
    if (listText.isEmpty())
        return commentLine;

    // Each entry gains the head before it and a quote and CR LF after it; the
    // CR LFs between entries are already counted in the list text.
    const qsizetype entries = listText.count(CrLf) + 1;
    QString cfg(commentLine.size() + listText.size() + entries * (head.size() + 1) + 2, Qt::Uninitialized);
    QChar *out = cfg.data();
    auto put = [&out](QStringView text) {
        std::copy(text.begin(), text.end(), out);
        out += text.size();
    };
    put(commentLine);
    const QStringView list(listText);
    qsizetype from = 0;
    while (true) {
        const qsizetype end = list.indexOf(CrLf, from);
        put(head);
        put(list.sliced(from, (end < 0 ? list.size() : end) - from));
        put(u"\"\r\n");
        if (end < 0)
            break;
        from = end + 2;
    }
    Q_ASSERT(out == cfg.data() + cfg.size());
    return cfg;
}

} // namespace morvane::texcfg

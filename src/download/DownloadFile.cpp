#include "download/DownloadFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

namespace kovrin {

namespace {

// Reads the file text the two ways the import needs: whole lines, and comma-separated
// fields that go on from wherever the last read stopped.
class RecordReader {
public:
    explicit RecordReader(const QString& text) : m_text(text) {}

    bool atEnd() const { return m_pos >= m_text.size(); }
    // The line (from 1) the next read starts on.
    int line() const { return m_line; }

    QString readLine() {
        const qsizetype start = m_pos;
        qsizetype end = m_text.indexOf(QLatin1Char('\n'), m_pos);
        if (end < 0) {
            end = m_text.size();
            m_pos = end;
        } else {
            m_pos = end + 1;
            ++m_line;
        }
        qsizetype stop = end;
        if (stop > start && m_text[stop - 1] == QLatin1Char('\r')) {
            --stop;
        }
        return m_text.mid(start, stop - start);
    }

    // One comma-separated field: leading blanks skipped, a quoted field taken without its
    // quotes, trailing blanks of an unquoted field dropped. Ends at a comma or a line end.
    // Returns false at the end of the file.
    bool readField(QString* field) {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos])) {
            ++m_pos;
        }
        if (m_pos >= m_text.size()) {
            return false;
        }
        QString out;
        if (m_text[m_pos] == QLatin1Char('"')) {
            ++m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] != QLatin1Char('"') &&
                   m_text[m_pos] != QLatin1Char('\n')) {
                out += m_text[m_pos++];
            }
            if (m_pos < m_text.size() && m_text[m_pos] == QLatin1Char('"')) {
                ++m_pos;
            }
            // Anything between the closing quote and the delimiter is passed over.
            while (m_pos < m_text.size() && !isDelimiter(m_text[m_pos])) {
                ++m_pos;
            }
        } else {
            while (m_pos < m_text.size() && !isDelimiter(m_text[m_pos])) {
                out += m_text[m_pos++];
            }
            while (!out.isEmpty() && (isBlank(out.back()) || out.back() == QLatin1Char('\r'))) {
                out.chop(1);
            }
        }
        if (m_pos < m_text.size()) {
            if (m_text[m_pos] == QLatin1Char('\n')) {
                ++m_line;
            }
            ++m_pos;  // the comma or the line end
        }
        *field = out;
        return true;
    }

    // True when everything left is blank lines.
    bool onlyBlankLinesLeft() const {
        for (qsizetype i = m_pos; i < m_text.size(); ++i) {
            const QChar c = m_text[i];
            if (!isBlank(c) && c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
                return false;
            }
        }
        return true;
    }

private:
    static bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }
    static bool isDelimiter(QChar c) { return c == QLatin1Char(',') || c == QLatin1Char('\n'); }

    const QString& m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
};

// The field as the terminal can show it: every character outside Latin-1 becomes "?".
// Returns 1 when a character was replaced, else 0.
int keepShowable(QString& field) {
    int replaced = 0;
    for (QChar& c : field) {
        if (c.unicode() > 0xFF) {
            c = QLatin1Char('?');
            replaced = 1;
        }
    }
    return replaced;
}

void padTo(QString& rec, int width) {
    if (rec.size() < width) {
        rec += QString(width - rec.size(), QLatin1Char(' '));
    }
}

// Joins one continuation field to a short record.
void joinField(QString& rec, const QString& f) {
    const int lastSpace = f.lastIndexOf(QLatin1Char(' '));
    if (lastSpace < 0) {
        if (f.size() >= 65 && rec.size() >= 21) {
            rec += QLatin1Char(',');
            padTo(rec, 136 - int(f.size()));
            rec += f;
        } else if (f.size() == 46 && rec.size() >= 21) {
            rec += QLatin1Char(',');
            padTo(rec, 70);
            rec += f;
        } else {
            rec += QLatin1Char(',') + f;
        }
        return;
    }
    const int k = int(f.size()) - lastSpace - 1;
    int total = 0;
    if (k == 56) {
        total = 126;
    } else if (k == 46) {
        total = 116;
    } else if (k == 66) {
        total = 136;
    } else {
        return;  // any other shape of field is dropped
    }
    rec += QLatin1Char(',');
    padTo(rec, total - int(f.size()));
    rec += f;
}

bool acceptedLength(int n) {
    return (n >= 101 && n <= 131) || n == 136;
}

}  // namespace

DownloadRecord parseDownloadRecord(const QString& line) {
    auto col = [&line](int from, int width) { return line.mid(from - 1, width); };
    DownloadRecord r;
    r.BranchID = col(1, 15);
    r.CategoryCode = col(16, 1);
    r.SchemeCode = col(17, 5);
    r.ACNumber = col(22, 15);
    r.CustomerCode = col(37, 6);
    r.ACName = col(43, 50);
    r.BalAmount = col(95, 8);
    r.AgreedAmount = col(106, 5);
    r.MyDate = col(114, 2) + col(117, 2) + col(122, 2);
    r.AgentID = col(124, 15);
    r.OpeningDate = col(139, 2) + col(142, 2) + col(147, 2);
    r.Txndate = col(149, 2) + col(152, 2) + col(157, 2);
    r.BankSoftACNumber = col(160, 15);
    for (QString* f : {&r.BranchID, &r.CategoryCode, &r.SchemeCode, &r.ACNumber, &r.CustomerCode,
                       &r.ACName, &r.BalAmount, &r.AgreedAmount, &r.MyDate, &r.AgentID,
                       &r.OpeningDate, &r.Txndate, &r.BankSoftACNumber}) {
        r.replacedFields += keepShowable(*f);
    }
    return r;
}

QString downloadFileText(const QByteArray& bytes, TextEncoding* encoding) {
    TextEncoding found = TextEncoding::Latin1;
    QByteArrayView in(bytes);
    if (in.startsWith("\xEF\xBB\xBF")) {
        in = in.sliced(3);  // the UTF-8 byte-order mark
        found = TextEncoding::Utf8WithBom;
    }
    if (encoding) {
        *encoding = found;
    }
    const bool ascii =
        std::all_of(in.begin(), in.end(), [](char c) { return static_cast<uchar>(c) < 0x80; });
    if (ascii) {
        return QString::fromLatin1(in);
    }
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString decoded = utf8.decode(in);
    if (utf8.hasError()) {
        if (encoding) {
            *encoding = TextEncoding::Latin1;
        }
        return QString::fromLatin1(in);  // not UTF-8: 8-bit text as the bank has always written
    }
    if (encoding && found == TextEncoding::Latin1) {
        *encoding = TextEncoding::Utf8;
    }
    QString text;
    text.reserve(decoded.size());
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const QChar c = decoded[i];
        if (c.isHighSurrogate() && i + 1 < decoded.size() && decoded[i + 1].isLowSurrogate()) {
            text += QChar(QChar::ReplacementCharacter);  // one character, one column
            ++i;
        } else {
            text += c;
        }
    }
    return text;
}

DownloadFileContents parseDownloadFile(const QByteArray& bytes) {
    DownloadFileContents out;
    const QString text = downloadFileText(bytes, &out.encoding);
    RecordReader in(text);
    QVector<DownloadRecord> records;
    int count = 0;
    while (!in.atEnd()) {
        if (in.onlyBlankLinesLeft()) {
            break;  // blank lines after the last record are not records
        }
        const int line = in.line();
        QString rec = in.readLine();
        if (rec.size() < 136) {
            const QString firstLine = rec;
            auto formatError = [&] {
                out.status = DownloadFileContents::Status::FormatError;
                out.errorLine = line;
                out.errorText = firstLine;
                return out;
            };
            while (rec.size() < 71) {
                QString f;
                if (!in.readField(&f)) {
                    // The file ended inside a broken record: the record cannot be completed.
                    return formatError();
                }
                joinField(rec, f);
            }
            if (!acceptedLength(int(rec.size()))) {
                return formatError();
            }
        }
        ++count;
        if (count <= kMaxDownloadRecords) {
            records.push_back(parseDownloadRecord(rec));
            records.back().line = line;
        }
        const DownloadRecord last =
            count <= kMaxDownloadRecords ? records.back() : parseDownloadRecord(rec);
        out.branchId = last.BranchID;
        out.agentId = last.AgentID;
    }
    out.recordCount = count;
    if (count > kMaxDownloadRecords) {
        out.status = DownloadFileContents::Status::TooManyRecords;
        return out;
    }
    out.records = std::move(records);
    return out;
}

DownloadFileContents readDownloadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        DownloadFileContents out;
        out.status = DownloadFileContents::Status::ReadError;
        out.error = f.errorString();
        return out;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        DownloadFileContents out;
        out.status = DownloadFileContents::Status::ReadError;
        out.error = f.errorString();
        return out;
    }
    return parseDownloadFile(bytes);
}

QString downloadFilePath(const QString& bankInfoPath, const QString& agentNumber,
                         const QString& ddmm) {
    QString path = bankInfoPath;
    if (!path.endsWith(QLatin1Char('/')) && !path.endsWith(QLatin1Char('\\'))) {
        path += QDir::separator();
    }
    return path + agentNumber + ddmm + QStringLiteral("d.txt");
}

QString findDownloadFile(const QString& path) {
    const QFileInfo fi(path);
    if (fi.isFile()) {
        return path;
    }
    const QDir dir = fi.dir();
    if (!dir.exists()) {
        return {};
    }
    const QString wanted = fi.fileName();
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
            return dir.filePath(name);
        }
    }
    return {};
}

QString pathWithoutRoot(const QString& path) {
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:[\\\\/]"));
    if (drive.match(path).hasMatch()) {
        return path.mid(3);
    }
    if (path.startsWith(QLatin1Char('/'))) {
        return path.mid(1);
    }
    return path;
}

QVector<BankDataRow> bankDataRows(const DownloadFileContents& contents, const QString& fileName) {
    QVector<BankDataRow> rows;
    rows.reserve(contents.records.size());
    for (const DownloadRecord& r : contents.records) {
        BankDataRow b;
        b.AgentID = contents.agentId;
        b.BranchID = contents.branchId;
        b.CategoryCode = r.CategoryCode;
        b.SchemeCode = r.SchemeCode;
        b.ACNumber = r.ACNumber;
        b.ACName = r.ACName;
        b.BalAmount = r.BalAmount;
        b.AgreedAmount = r.AgreedAmount;
        b.OpeningDate = r.OpeningDate;
        b.Txndate = r.Txndate;
        b.FileName = fileName;
        b.CustomerCode = r.CustomerCode;
        b.MyDate = r.MyDate;
        b.BankSoftACNumber = r.BankSoftACNumber;
        rows.push_back(std::move(b));
    }
    return rows;
}

}  // namespace kovrin

#pragma once

// The text of a PDF file as poppler's pdftotext reads it, page by page and line by line, with
// the blanks between words put back from the words' positions.
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>

namespace kovrin::test {

// One line of a page: its cells, left to right. Words closer than five blanks make one cell,
// with as many blanks between them as fit in the gap; wider gaps separate cells.
using PdfLine = QStringList;
using PdfPage = QVector<PdfLine>;

struct PdfWord {
    double xMin, yMin, xMax, yMax;
    QString text;
};

inline QString popplerTool(const QString& name) {
    return QStandardPaths::findExecutable(name);
}

// Runs a poppler tool and returns its standard output; empty on failure.
inline QByteArray runPoppler(const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(popplerTool(tool), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        return {};
    }
    return p.readAllStandardOutput();
}

inline int pdfPageCount(const QString& path) {
    const QString info = QString::fromUtf8(runPoppler("pdfinfo", {path}));
    for (const QString& line : info.split('\n')) {
        if (line.startsWith("Pages:")) {
            return line.mid(6).trimmed().toInt();
        }
    }
    return -1;
}

inline QVector<PdfPage> pdfPages(const QString& path) {
    const QByteArray xml = runPoppler("pdftotext", {"-bbox", path, "-"});
    QVector<QVector<PdfWord>> pages;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        r.readNext();
        if (!r.isStartElement()) {
            continue;
        }
        if (r.name() == QLatin1String("page")) {
            pages.push_back({});
        } else if (r.name() == QLatin1String("word") && !pages.isEmpty()) {
            const auto a = r.attributes();
            PdfWord w{a.value("xMin").toDouble(),
                      a.value("yMin").toDouble(),
                      a.value("xMax").toDouble(),
                      a.value("yMax").toDouble(),
                      {}};
            w.text = r.readElementText();
            pages.last().push_back(w);
        }
    }
    QVector<PdfPage> out;
    for (QVector<PdfWord> words : pages) {
        std::stable_sort(words.begin(), words.end(), [](const PdfWord& a, const PdfWord& b) {
            if (std::abs(a.yMax - b.yMax) > 1.0) {
                return a.yMax < b.yMax;
            }
            return a.xMin < b.xMin;
        });
        PdfPage page;
        const PdfWord* prev = nullptr;
        for (const PdfWord& w : words) {
            if (!prev || std::abs(w.yMax - prev->yMax) > 1.0) {
                page.push_back({w.text});
            } else {
                // Arial's blank is 0.278 of the font size; the box of a word is 1.117 sizes high.
                const double blank = 0.2778 * (w.yMax - w.yMin) / 1.117;
                const int blanks = static_cast<int>(std::lround((w.xMin - prev->xMax) / blank));
                if (blanks <= 4) {
                    page.last().last() += QString(std::max(blanks, 1), ' ') + w.text;
                } else {
                    page.last().push_back(w.text);
                }
            }
            prev = &w;
        }
        out.push_back(page);
    }
    return out;
}

// The line whose first cell is `first`; empty when there is none.
inline PdfLine lineStarting(const PdfPage& page, const QString& first) {
    for (const PdfLine& l : page) {
        if (!l.isEmpty() && l.first() == first) {
            return l;
        }
    }
    return {};
}

inline int countLinesStarting(const PdfPage& page, const QString& first) {
    return static_cast<int>(std::count_if(page.begin(), page.end(), [&](const PdfLine& l) {
        return !l.isEmpty() && l.first() == first;
    }));
}

}  // namespace kovrin::test

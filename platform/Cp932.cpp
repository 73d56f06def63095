#include "platform/Cp932.h"

#include "platform/Exception.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace tovari {

namespace {

class IconvConverter {
public:
    IconvConverter(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw Exception(QStringLiteral("iconv cannot convert from %1 to %2")
                                .arg(QString::fromLatin1(from), QString::fromLatin1(to)));
    }
    ~IconvConverter() { iconv_close(cd_); }
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    // Converts in; on an input sequence it cannot take, calls onBad(position) which appends its
    // substitute to out and returns how many input bytes to skip.
    template <typename OnBad>
    void Convert(const QByteArray& in, QByteArray& out, OnBad onBad)
    {
        char* src = const_cast<char*>(in.constData());
        size_t srcLeft = size_t(in.size());
        char buffer[1024];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, qsizetype(dst - buffer));
            if (rc != size_t(-1))
                continue;
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL (a sequence cut short at the end): substitute and move on.
            const size_t skip = std::min(srcLeft, size_t(onBad(src, srcLeft)));
            src += skip;
            srcLeft -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, qsizetype(dst - buffer));
    }

private:
    iconv_t cd_;
};

int Utf8SequenceLengthAt(const char* p, size_t left)
{
    const auto c = static_cast<unsigned char>(*p);
    int len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    return int(std::min(size_t(len), left));
}

bool IsRawByteSurrogate(char16_t u) { return u >= 0xDC80 && u <= 0xDCFF; }

}  // namespace

QByteArray ToCp932(const QString& text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    IconvConverter converter("CP932", "UTF-8");
    qsizetype runStart = 0;
    auto flushRun = [&](qsizetype end) {
        if (end > runStart)
            converter.Convert(text.mid(runStart, end - runStart).toUtf8(), out, [&](const char* p, size_t left) {
                out.append('?');
                return Utf8SequenceLengthAt(p, left);
            });
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (IsRawByteSurrogate(u)) {
            flushRun(i);
            out.append(char(u - 0xDC00));
            runStart = i + 1;
        }
    }
    flushRun(text.size());
    return out;
}

QString FromCp932(const QByteArray& bytes)
{
    QByteArray utf8;
    utf8.reserve(bytes.size() * 3 / 2);
    IconvConverter converter("UTF-8", "CP932");
    converter.Convert(bytes, utf8, [&](const char*, size_t) {
        utf8.append("\xEF\xBF\xBD");
        return 1;
    });
    return QString::fromUtf8(utf8);
}

std::optional<QString> FromCp932Strict(const QByteArray& bytes)
{
    QByteArray utf8;
    bool valid = true;
    IconvConverter converter("UTF-8", "CP932");
    converter.Convert(bytes, utf8, [&](const char*, size_t left) {
        valid = false;
        return int(left);
    });
    if (!valid)
        return std::nullopt;
    return QString::fromUtf8(utf8);
}

}  // namespace tovari

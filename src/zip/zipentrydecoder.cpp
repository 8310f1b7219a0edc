#include "zip/zipentrydecoder.h"

#include "zip/ziparchive.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr quint16 kMethodStored = 0;
constexpr qsizetype kStoredChunk = 8 << 20;
constexpr quint64 kStreamInputStep = 8 << 20;
constexpr qsizetype kStreamOutputChunk = 1 << 20;

QString hex(quint32 value) {
    return u"0x"_s + QString::number(value, 16).toUpper().rightJustified(8, u'0');
}

} // namespace

ZipEntryDecoder::ZipEntryDecoder()
    : m_decompressor(libdeflate_alloc_decompressor())
    , m_stream(std::make_unique<z_stream_s>()) {
}

ZipEntryDecoder::~ZipEntryDecoder() {
    if (m_streamReady)
        inflateEnd(m_stream.get());
    libdeflate_free_decompressor(m_decompressor);
}

bool ZipEntryDecoder::fail(const QString &reason) {
    m_error = reason;
    return false;
}

char *ZipEntryDecoder::buffer(size_t size) {
    if (m_bufferSize < size) {
        m_bufferSize = std::max(size, std::min<size_t>(m_bufferSize * 2, kWholeBufferLimit + 1));
        m_buffer.reset(new char[m_bufferSize]);
    }
    return m_buffer.get();
}

void ZipEntryDecoder::consumed(quint64 bytes) {
    if (m_inputConsumed)
        m_inputConsumed(bytes);
}

bool ZipEntryDecoder::decode(const ZipArchive &archive, const ZipEntry &entry, const Sink &sink) {
    m_error.clear();
    const uchar *input = archive.data() + entry.dataOffset;
    if (entry.method == kMethodStored)
        return copyStored(input, entry, sink);
    if (entry.uncompressedSize <= quint64(kWholeBufferLimit))
        return inflateWhole(input, entry, sink);
    return inflateStreaming(input, entry, sink);
}

bool ZipEntryDecoder::finish(const ZipEntry &entry, quint32 crc, quint64 produced) {
    if (produced != entry.uncompressedSize)
        return fail(
            u"the data holds %1 bytes but the entry declares %2"_s.arg(produced).arg(entry.uncompressedSize));
    if (crc != entry.crc32)
        return fail(
            u"CRC-32 mismatch: the data has %1, the entry declares %2"_s.arg(hex(crc), hex(entry.crc32)));
    return true;
}

bool ZipEntryDecoder::copyStored(const uchar *input, const ZipEntry &entry, const Sink &sink) {
    quint32 crc = 0;
    for (quint64 done = 0; done < entry.compressedSize;) {
        const auto piece = qsizetype(std::min<quint64>(kStoredChunk, entry.compressedSize - done));
        crc = libdeflate_crc32(crc, input + done, size_t(piece));
        if (!sink(reinterpret_cast<const char *>(input + done), piece))
            return false;
        done += quint64(piece);
        consumed(quint64(piece));
    }
    return finish(entry, crc, entry.compressedSize);
}

bool ZipEntryDecoder::inflateWhole(const uchar *input, const ZipEntry &entry, const Sink &sink) {
    // One spare byte turns "more data than declared" into a plain overflow we can detect.
    const auto capacity = size_t(entry.uncompressedSize) + 1;
    char *output = buffer(capacity);
    size_t produced = 0;
    const libdeflate_result result = libdeflate_deflate_decompress_ex(
        m_decompressor, input, size_t(entry.compressedSize), output, capacity, nullptr, &produced);
    consumed(entry.compressedSize);
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE ||
        (result == LIBDEFLATE_SUCCESS && produced > entry.uncompressedSize))
        return fail(u"the data inflates to more than the declared %1 bytes"_s.arg(entry.uncompressedSize));
    if (result != LIBDEFLATE_SUCCESS)
        return fail(u"the compressed data is corrupt or truncated"_s);
    const quint32 crc = libdeflate_crc32(0, output, produced);
    if (!finish(entry, crc, produced))
        return false;
    return produced == 0 || sink(output, qsizetype(produced));
}

bool ZipEntryDecoder::inflateStreaming(const uchar *input, const ZipEntry &entry, const Sink &sink) {
    z_stream_s &stream = *m_stream;
    if (!m_streamReady) {
        stream = {};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
            return fail(u"the decompressor cannot be set up"_s);
        m_streamReady = true;
    } else {
        inflateReset(&stream);
    }
    char *output = buffer(kStreamOutputChunk);

    quint32 crc = 0;
    quint64 produced = 0;
    quint64 fed = 0;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (stream.avail_in == 0) {
            if (fed == entry.compressedSize)
                return fail(u"the compressed data is truncated"_s);
            const quint64 step = std::min(kStreamInputStep, entry.compressedSize - fed);
            stream.next_in = const_cast<Bytef *>(input + fed);
            stream.avail_in = uInt(step);
            fed += step;
            consumed(step);
        }
        stream.next_out = reinterpret_cast<Bytef *>(output);
        stream.avail_out = uInt(kStreamOutputChunk);
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
            return fail(u"the compressed data is corrupt"_s);
        const auto piece = qsizetype(kStreamOutputChunk - stream.avail_out);
        produced += quint64(piece);
        if (produced > entry.uncompressedSize)
            return fail(
                u"the data inflates to more than the declared %1 bytes"_s.arg(entry.uncompressedSize));
        crc = libdeflate_crc32(crc, output, size_t(piece));
        if (piece > 0 && !sink(output, piece))
            return false;
        if (status == Z_BUF_ERROR && stream.avail_in != 0)
            return fail(u"the compressed data is corrupt"_s);
    }
    return finish(entry, crc, produced);
}

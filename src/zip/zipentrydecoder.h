#pragma once

#include <QString>

#include <functional>
#include <memory>

class ZipArchive;
struct ZipEntry;
struct libdeflate_decompressor;
struct z_stream_s;

// Decodes the data of one entry and checks it: never more output than the declared size
// (a decompression bomb stops there), never less, and the CRC-32 of what came out. One decoder
// per thread; it keeps its buffers between entries.
//
// Entries up to kWholeBufferLimit are inflated in one call by libdeflate, which is about twice
// as fast as zlib; larger ones are streamed through zlib in bounded pieces so memory stays flat.
class ZipEntryDecoder {
public:
    // Receives the decoded bytes in order; returns false to stop (the caller keeps the reason).
    using Sink = std::function<bool(const char *data, qsizetype size)>;
    // Told how many input bytes have been consumed, so that mapped pages can be given back.
    using InputConsumed = std::function<void(quint64 bytes)>;

    static constexpr qsizetype kWholeBufferLimit = 16 << 20;

    ZipEntryDecoder();
    ~ZipEntryDecoder();
    ZipEntryDecoder(const ZipEntryDecoder &) = delete;
    ZipEntryDecoder &operator=(const ZipEntryDecoder &) = delete;

    void setInputConsumed(InputConsumed callback) { m_inputConsumed = std::move(callback); }

    // False when the data is bad (error() says why) or when the sink stopped (error() is empty).
    bool decode(const ZipArchive &archive, const ZipEntry &entry, const Sink &sink);
    const QString &error() const { return m_error; }

private:
    bool copyStored(const uchar *input, const ZipEntry &entry, const Sink &sink);
    bool inflateWhole(const uchar *input, const ZipEntry &entry, const Sink &sink);
    bool inflateStreaming(const uchar *input, const ZipEntry &entry, const Sink &sink);
    bool finish(const ZipEntry &entry, quint32 crc, quint64 produced);
    bool fail(const QString &reason);
    char *buffer(size_t size);
    void consumed(quint64 bytes);

    libdeflate_decompressor *m_decompressor = nullptr;
    std::unique_ptr<z_stream_s> m_stream;
    bool m_streamReady = false;
    // Not a vector: zero-filling would make all of it resident, used or not.
    std::unique_ptr<char[]> m_buffer;
    size_t m_bufferSize = 0;
    InputConsumed m_inputConsumed;
    QString m_error;
};

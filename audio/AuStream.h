#pragma once
// Byte streams that sources read from and sinks write to: the abstract TStream and an
// in-memory TMemoryStream. TAuFileStream (AuFileStream.h) is the file variant.
#include "audio/StreamTypes.h"
#include <QByteArray>
#include <cstdint>

class TStream
{
public:
    virtual ~TStream() = default;

    // Read and Write return the number of bytes moved, or -1 on an I/O error.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Returns the new position, or -1 on an error.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size();
    // Changes the size (truncates or extends); false on an error.
    virtual bool SetSize(int64_t size) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    bool SetPosition(int64_t position) { return Seek(position, TSeekOrigin::Begin) == position; }
    // Reads or writes exactly count bytes; false when fewer could be moved.
    bool ReadBuffer(void* buffer, int64_t count) { return Read(buffer, count) == count; }
    bool WriteBuffer(const void* buffer, int64_t count) { return Write(buffer, count) == count; }
};

class TMemoryStream : public TStream
{
public:
    TMemoryStream() = default;
    explicit TMemoryStream(QByteArray data) : FData(std::move(data)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return FData.size(); }
    bool SetSize(int64_t size) override;

    const QByteArray& Data() const { return FData; }
    void Clear() { FData.clear(); FPosition = 0; }

private:
    QByteArray FData;
    int64_t FPosition = 0;
};

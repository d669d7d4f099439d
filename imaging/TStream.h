#pragma once
// Byte stream with a 64-bit position, the base of file and memory streams.
// A stream has one user (one thread) at a time.
#include <cstdint>

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes at the position; returns how many were read.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to count bytes at the position; returns how many were written.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position and returns the new one; a position past the end is allowed.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    virtual int64_t Size();
    virtual void SetSize(int64_t newSize) = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, soBeginning); }

    // Exactly count bytes or EReadError "Stream read error".
    void ReadBuffer(void* buffer, int64_t count);
    // Exactly count bytes or EWriteError "Stream write error".
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source's position; count 0 copies the whole
    // source from its start; a negative count raises EReadError. Returns the
    // bytes copied.
    int64_t CopyFrom(TStream& source, int64_t count);

protected:
    // base + offset as a new position: -1 when it would be negative or past
    // the 64-bit range (a hostile offset must not wrap round to a valid one).
    static int64_t SeekTarget(int64_t base, int64_t offset);
    // Of count bytes at pos, how many end within the 64-bit position range.
    static int64_t CountWithinRange(int64_t pos, int64_t count);
};

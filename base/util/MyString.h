#pragma once
// A byte buffer with a read cursor, for parsing text line by line.
// The fields are public: a caller may lend its own buffer through data, and must
// set data back to nullptr before the object is destroyed (the destructor frees it
// with delete[]).

class CMyString final {
public:
    CMyString() = default;
    // Allocates len bytes; left empty when len is not positive or allocation fails.
    explicit CMyString(int len);
    ~CMyString();

    // Copies duplicate the buffer; moves hand it over.
    CMyString(const CMyString& other);
    CMyString& operator=(const CMyString& other);
    CMyString(CMyString&& other) noexcept;
    CMyString& operator=(CMyString&& other) noexcept;

    // Copies at most max bytes from the cursor into dst up to delim, which becomes the
    // terminator and is passed over. A line that fills max or meets the end of the
    // buffer loses its last byte to the terminator. Copies nothing and writes nothing
    // when max is not positive; writes only a terminator at the end of the buffer.
    void getline(char* dst, int max, char delim);
    // 1 when fewer than two unread bytes remain.
    int eof() const;

    char* data = nullptr;
    int size = 0;
    int cursor = 0;

private:
    void Free();
    void CopyFrom(const CMyString& other);
};

// qor_cString: a heap text string holding one char pointer (null is the empty string).
#pragma once

#include "qor_types.h"

class qor_cString
{
public:
    qor_cString();
    qor_cString(cchar * sz);
    qor_cString(const qor_cString & str);
    explicit qor_cString(int i);   // "%d"
    explicit qor_cString(float f); // "%g"
    ~qor_cString();

    qor_cString & operator=(const qor_cString & str);
    qor_cString & operator=(cchar * sz);

    // false when memory runs out (the string is then unchanged); null empties it.
    bool set(cchar * sz);
    // Never null: the empty string reads as "".
    cchar * get() const { return m_sz ? m_sz : ""; }
    // The raw pointer, null when empty.
    cchar * data() const { return m_sz; }
    int length() const;
    bool isEmpty() const { return !m_sz || !*m_sz; }
    // Grows the buffer to hold at least n characters; content kept.
    bool reserve(int n);

    // printf-style: formats in a scratch buffer of 4096 bytes, or ten times the format's
    // length when that is larger, then shrinks to the result.
    bool printf(cchar * szFormat, ...) __attribute__((format(printf, 2, 3)));

    bool append(cchar * sz);
    qor_cString operator+(const qor_cString & str) const;
    qor_cString operator+(cchar * sz) const;
    qor_cString & operator+=(cchar * sz);
    bool operator==(const qor_cString & str) const;
    bool operator==(cchar * sz) const;
    bool operator!=(const qor_cString & str) const { return !(*this == str); }
    bool operator!=(cchar * sz) const { return !(*this == sz); }

    void toLower();
    void toUpper();

    // Index of sz at or after iFrom (find) or at or before iFrom (rfind, -1: from the end); -1 when absent.
    int find(cchar * sz, int iFrom = 0, bool bCaseSensitive = true) const;
    int rfind(cchar * sz, int iFrom = -1, bool bCaseSensitive = true) const;

    // Characters [iStart, iStart + n) (clamped).
    qor_cString sub(int iStart, int n) const;

    // Folder through the last "/", or the last "\" when there is no "/" (separator kept);
    // file name after it; extension after the file name's last "." (without the dot).
    void splitPath(qor_cString * pFolder, qor_cString * pFile, qor_cString * pExt) const;

private:
    char * m_sz;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Profile-file access object: binds one file and one section and either reads or writes a series of
// keys, so that one list of exchange calls loads a record and, in the other mode, saves it. Writes are
// gathered and stored in one replacement of the file (Commit, or the end of the object's life).
// One object is used by one thread at a time; objects on different threads do not disturb each other.

#include <string>
#include <vector>

#include "support/ProfileFile.h"

class CReg final {
  public:
    enum { Read = 0, Write = 1 };

    // mode Read (0) makes the exchange operations read, any other value makes them write. file is a bare
    // name (placed in the configuration folder) or a path used as it stands.
    CReg(int mode, const std::string& section, const std::string& file);
    // A failure here goes unreported, as with every write (see ExchangeString).
    ~CReg() { (void)Commit(); }
    CReg(const CReg&) = delete;
    CReg& operator=(const CReg&) = delete;

    void SetSection(const std::string& section);

    // Read mode: var := the key's value in the current section, or defaultValue when the file, section
    // or key is absent or unreadable; the file is never created. Write mode: var becomes the key's value
    // (the file and section are created as needed) at the next Commit; defaultValue is ignored. A failed
    // write leaves the file as it was; it is not reported, as no caller could do better than carry on
    // (see Commit()).
    void ExchangeString(const std::string& key, const std::string& defaultValue, std::string& var);

    // The same for integers, stored as decimal text. Reading takes an optional sign and the leading
    // decimal digits after blanks ("12abc" gives 12, "abc" gives 0); an absent or empty value gives
    // defaultValue; values beyond the int range are clamped to it.
    void ExchangeInt(const std::string& key, int defaultValue, int& var);

    // Reads key in the current section, in either mode; the values this object is still to write count.
    std::string GetString(const std::string& key, const std::string& defaultValue) const;

    // Stores the values written since the last commit. False when that failed; the file is then as it was.
    [[nodiscard]] bool Commit();

    // How an integer value reads; exposed for the settings code and tests.
    static int ParseInt(const std::string& text, int defaultValue);

  private:
    void WriteString(const std::string& key, const std::string& value);

    const int m_nMode;
    const std::string m_strFile;
    std::string m_strSection;
    std::vector<CProfileFile::Entry> m_pending;  // written, not yet stored
};

#pragma once

#include <string>

// The parsed command line. Built once by main and read only afterwards; the
// string accessors return copies.
class Settings {
public:
    // Every string empty, mode 0, every flag off.
    Settings();
    // Parses the command line. Ends the process with status 0 after --help
    // and --version; writes the option warnings and, with -v, the summary.
    Settings(int argc, char** argv);

    int getMode() const;
    std::string getLinkPath_TRV() const;
    std::string getLinkPath_SV() const;
    std::string getEluxUSBPath() const;
    std::string getIgelLXPath() const;
    std::string getIgelMediaPath() const;
    bool getIgelUD3Mode() const;
    std::string getAutoFSPath() const;
    bool getKeepDirectory() const;
    bool getForceRemoveLinkPath() const;
    bool getUseRealUSBIds() const;
    bool Verbose() const;

    void Print() const;
    void PrintArgHelp() const;

private:
    void Apply(char option, const char* value);
    void Normalise();
    void Warn() const;

    int m_iMode = 0;
    std::string m_sConfigFile;
    std::string m_sMountPath;
    std::string m_sLinkPath_TRV;
    std::string m_sLinkPath_SV;
    std::string m_sEluxUSBPath;
    std::string m_sIgelLXPath;
    std::string m_sIgelMediaPath;
    std::string m_sAutoFSPath;
    bool m_bIgelUD3 = false;
    bool m_bVerbose = false;
    bool m_bKeepDirectory = false;
    bool m_bForceRemove = false;
    bool m_bUseRealDeviceIDs = false;
};

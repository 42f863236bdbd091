// The result interface of the main window: reception of a block from the port, its
// decoding, and the forwarding of its eighteen results to the uploader. The window supplies
// the two screens and the port; everything here runs on the main thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "result/Decoding.h"
#include "serial/CPort.h"

// The text last read from the port: each read replaces it whole.
extern std::string GelenBilgi;

class TResultInterface {
public:
    virtual ~TResultInterface() = default;

    // The screens (texts in code page 1254).
    virtual void HostEkraninaMesajYaz(const std::string& Text) = 0;
    virtual void BilgiEkraninaMesajYaz(const std::string& Text) = 0;

    // OnRxChar of the port: waits for the rest of the block, reads it, shows it, decodes it
    // and forwards its eighteen results. Lets no failure out.
    void ComPortRxChar(TObject* Sender, std::int32_t Count);
    // Forwards one result to the uploader. Lets no failure out.
    void TestSonucuKaydet(const std::string& Kod, const std::string& Deger);
    void CihazdanGelenBilgiyiTemizle();

    TSonucKaydi Sonuc;
    // The start-up settings.
    std::string UploaderPath;
    std::string WebBaseAddress;

    // How long the handler waits for the rest of a block; benchmarks shorten it.
    static constexpr std::chrono::milliseconds kBlockWait{2500};
    std::chrono::milliseconds BlockWait = kBlockWait;
    static constexpr std::int32_t kReadCount = 10000;

protected:
    virtual TComPort& ResultPort() = 0;
};

// The web system's test number for a parameter code (exact, case-sensitive); an unknown
// code stands for itself.
std::string TestNumberOf(const std::string& Code);

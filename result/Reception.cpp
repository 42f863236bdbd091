#include <thread>

#include "result/ResultInterface.h"

std::string GelenBilgi;

void TResultInterface::CihazdanGelenBilgiyiTemizle() {
    Sonuc.Barkod = std::string();
    Sonuc.Yedek1 = std::string();
    Sonuc.Yedek2 = std::string();
    Sonuc.Yedek3 = std::string();
    Sonuc.TestKodu = std::string();
    Sonuc.Deger = std::string();
    Sonuc.Yedek4 = std::string();
}

void TResultInterface::ComPortRxChar(TObject* /*Sender*/, std::int32_t /*Count*/) {
    // One guard around the whole block: a failure ends this block silently and never
    // reaches the port's monitoring thread.
    try {
        HostEkraninaMesajYaz("mesaj geldi.");
        // Framing is by time alone: the rest of the block arrives meanwhile.
        std::this_thread::sleep_for(BlockWait);
        ResultPort().ReadText(GelenBilgi, kReadCount);
        HostEkraninaMesajYaz("Bilgi Geliyor!");
        BilgiEkraninaMesajYaz(GelenBilgi);
        CihazdanGelenBilgiyiTemizle();
        Sonuc.Barkod = CutBarcode(BlockLine(GelenBilgi, kBarcodeLine));
        HostEkraninaMesajYaz(Sonuc.Barkod.str() + " Barkod Nolu Hasta Sonucu Geliyor!");
        for (const TParameterLine& parameter : kParameterLines) {
            const std::string value = CutValue(BlockLine(GelenBilgi, parameter.Line));
            Sonuc.TestKodu = std::string(parameter.Code);
            Sonuc.Deger = value;
            TestSonucuKaydet(Sonuc.TestKodu, Sonuc.Deger);
        }
    } catch (...) {
    }
}

// What the review tools put on the screens before they take their pictures: a result's
// messages on the host screen, its raw traffic and the Turkish letters on the info screen.
#pragma once

#include <string>

#include "app/AnaUnit.h"

inline void WriteReviewLines(TCustomAnaForm& form) {
    for (const char* line :
         {"COM3", "mesaj geldi.", "Bilgi Geliyor!", "A1234 Barkod Nolu Hasta Sonucu Geliyor!",
          "WBC - 5.6 - A1234", "Update Success..."}) {
        form.HostEkraninaMesajYaz(line);
    }
    form.BilgiEkraninaMesajYaz(
        std::string("\x02"
                    "DORVIK SELTO\r\n\r\n  A1234\r\n\r\n WBC  5.6\r\n\x03",
                    40));
    form.BilgiEkraninaMesajYaz("\xDE\xFE\xDD\xFD\xD0\xF0 \xC7\xE7 \xD6\xF6 \xDC\xFC");
}

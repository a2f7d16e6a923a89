// Table operations on the booking messages (Kvn560Mel), the message buffer
// (Kvn565Map), the evaluation results (Kvn590Nza) and the recalculation
// markers (Kvn563Mrk). Every operation runs one static statement and returns
// its status code: 0 success, 1403 no (further) row, negative a database error.
//
// The operations share one set of column buffers: they are not re-entrant,
// though any of them may run between two reads of an open cursor.
#pragma once

#include <cstdint>
#include <vector>

#include "db/Runtime.h"

namespace db {

// One booking message.
struct Kvn560Mel {
  std::int32_t KeyBnr;
  std::int32_t KeyLfn;
  char ObjTyp[4];
  char KeyPnr[9];
  char KeyApl[11];
  char KeyApk[13];
  char KeyApp[6];
  char Sts00E[2];
  char Sts00R[2];
  char Sts00A[2];
  char Sts00U[2];
  char Sts00S[2];
  char Sts006[2];
  char Sts007[2];
  char Sts008[2];
  char Sts009[2];
  char Sts010[2];
  char Sts011[2];
  char Sts012[2];
  char Sts013[2];
  char Sts014[2];
  char Sts015[2];
  char Sts016[2];
  char KeyDat[9];  // yyyymmdd
  char KeyUhr[7];  // HHMMSS
  char KeySek[3];
  char KeyUbg[6];  // as wide as its transfer, so the transfer never runs past it
  char KeyAug[5];
  char MelMsk[4];
  char MelFcd[4];
  char MelAwn[9];
  char MelTrm[3];
  char MelOff[2];
  std::int32_t MelFnr;  // transferred as 16 bits
  double MelGum;
  double MelFam;
  double MelMam;
  double MelNam;
  char MelMee[4];
  double MelZt1;
  double MelZt2;
  double MelZt3;
  char MelAec[2];
  char MelTrc[2];
  char MelKsb[9];
  char MelKdt[15];
  char MelKfc[4];
  double MelKgm;
  double MelKfm;
  double MelKmm;
  double MelKnm;
  char KeyTnr[21];
  char MelDat[15];  // never selected, never touched
  char MelErf[9];
};

// One message buffer record.
struct Kvn565Map {
  std::int32_t MapBnr;
  char MapObj[4];
  char MapPnr[9];
  char MapApl[11];
  char MapApk[13];
  char MapApp[6];
  char Map00E[2];
  char Map00R[2];
  char Map00A[2];
  char Map00U[2];
  char Map00S[2];
  char Map006[2];
  char Map007[2];
  char Map008[2];
  char Map009[2];
  char Map010[2];
  char Map011[2];
  char Map012[2];
  char Map013[2];
  char Map014[2];
  char Map015[2];
  char Map016[2];
  char MapMdt[9];  // yyyymmdd
  char MapMzt[7];  // HHMMSS
  char MapDat[15];  // never selected, never touched
  char MapErf[9];
  char MapSts[2];
  char MapUbg[6];
  char MapTnr[21];
};

// One evaluation result.
struct Kvn590Nza {
  std::int16_t NzaSa;
  char NzaApl[11];
  char NzaApk[13];
  char NzaApp[6];
  char NzaPnr[11];
  char NzaDtmDay[9];
  char NzaDtmTime[7];
  std::int32_t NzaBeg;
  std::int32_t NzaBbn;
  std::int32_t NzaBln;
  char NzaBmk[4];
  char NzaEdtDay[9];
  char NzaEdtTime[7];
  std::int32_t NzaEnd;
  std::int32_t NzaEbn;
  std::int32_t NzaEln;
  char NzaEmk[4];
  char NzaUbg[6];  // as wide as its transfer
  std::int32_t NzaRau;
  std::int32_t NzaVar;
  std::int32_t Nza00A;
  std::int32_t Nza00U;
  std::int32_t Nza00S;
  char NzaEmo[11];
  std::int32_t NzaWtg;
  std::int32_t NzaJtg;
  char NzaTtp[4];
  char NzaJwo[5];
  std::int32_t NzaWoc;
  std::int32_t NzaPzm;
  std::int32_t NzaMaz;
  double NzaGum;
  double NzaAum;
  double NzaNzr;
  double NzaBzr;
  double NzaUzr;
  double NzaPzr;
  double NzaRbz;
  double NzaNza;
  double NzaBzA;
  double NzaUza;
  double NzaPza;
  double NzaAbz;
  double NzaBzu;
  double NzaNzu;
  double NzaPzu;
  double NzaUbz;
  double NzaIst;
  double NzaSol;
  double NzaPau;
  double NzaRf1;
  double NzaRf2;
  double NzaRf3;
  std::int32_t NzaFnr;
  char NzaTnr[21];
  char NzaDat[15];  // not written: the insert takes the database's time
  char NzaErf[9];
};

// One recalculation marker.
struct Kvn563Mrk {
  char MrkKng[4];
  char MrkApl[11];
  char MrkApk[13];
  char MrkApp[6];
  char MrkPnr[9];
  std::int32_t MrkBnr;
  char MrkObj[4];
  char MrkMdt[15];  // yyyymmddHHMMSS
  char MrkDat[15];  // never selected, never touched
  char MrkEsb[9];
};

// Booking messages of a workplace from (fromDay, fromTime) up to, not
// including, (toDay, toTime), oldest first.
int Mel_Apl_Open(const char* apl, const char* fromDay, const char* fromTime, const char* toDay,
                 const char* toTime);
int Mel_Apl_Read(Kvn560Mel* rec);
int Mel_Apl_Close();

// Booking messages of a workplace from the start of a day on, newest first.
int Mel_AplDesc_Open(const char* apl, const char* day);
int Mel_AplDesc_Read(Kvn560Mel* rec);
int Mel_AplDesc_Close();

// Message buffer records of a workplace.
int Map_Apl_Open(const char* apl);
int Map_Apl_Read(Kvn565Map* rec);
int Map_Apl_Close();

// Deletes a workplace's kind-12 results whose begin day lies in [fromDay, toDay].
int Nza_Del_SA12(const char* apl, const char* fromDay, const char* toDay);
// Inserts one result; NzaDat receives the database's current time.
int Nza_PKeyIns(const Kvn590Nza* rec);

// Markers of one kind, by workplace, order, position and point in time.
int Mrk_MrkKng_Open(const char* kng);
int Mrk_MrkKng_Read(Kvn563Mrk* rec);
int Mrk_MrkKng_Close();
// Deletes every marker with the record's six key values, whatever its time.
int Mrk_PKeyDel(const Kvn563Mrk* rec);
// Deletes a workplace's "LZM" markers from a day on.
int Mrk_Del_AplLzm(const char* apl, const char* day);

// Every statement of this module (guarded writes by their statement).
const std::vector<const rt::Statement*>& DbMelStatements();

}  // namespace db

// Table operations of the module Dbstd: workplaces, works calendar, shift
// models and evaluation parameters.
//
// Each operation copies its inputs into the module's column buffers, runs one
// fixed statement through the runtime and copies the outputs into the
// caller's record; it returns the status code (0, 1403, negative). The column
// buffers are shared by all operations of the module, so none of them is
// re-entrant. The cursors are static, one instance each.
#pragma once

#include <cstdint>
#include <vector>

#include "db/Runtime.h"

namespace db {

// One workplace row.
struct Kvn531Apl {
  char AplApl[11];
  char AplBez[31];
  char AplTxt[11];
  char AplApg[11];
  char AplFbe[11];
  std::int32_t AplSts;  // read as a 16-bit value
  std::int32_t AplSis;  // read as a 16-bit value
  std::int32_t AplApr;
  std::int32_t AplAaf;
  char AplUbg[6];  // read as text 5
  char AplUdt[15];
  char AplZf1[31];
  char AplZf2[31];
  char AplZf3[31];
  std::int32_t AplTag;
  double AplVrf;
  double AplRsp;
  double AplRsi;
  double AplAfp;
  double AplAfi;
  double AplPau;
  double AplUnt;
  double AplIak;
  std::int32_t AplAvt;
  double AplKap;
  double AplAvr;
  double AplAvp;
  char AplSt1[11];
  char AplSt2[11];
  char AplSt3[11];
  double AplSf1;
  double AplSf2;
  double AplSf3;
  char AplDna[4];
  char AplDwn[9];
  std::int32_t AplSta;  // read as a 16-bit value
  char AplDat[15];      // not read
  char AplErf[9];
};

// Works calendar question and answer (cleared to zero bytes by the caller).
struct Kvn133Bak {
  char BakDtm[9];
  char BakDtm2[9];
  std::int32_t BakJhr;
  std::int32_t BakMon;
  std::int32_t BakTag;
  std::int32_t BakWch;
  std::int32_t BakWtg;
  std::int32_t BakJtg;
  std::int32_t BakDays;
};

// One row of the day's shift-model cursor.
struct AemDayRow {
  std::int32_t AemKng;  // input only
  char AemApg[11];
  char AemEmo[11];
  char AemGvo[9];
  char AemBez[31];
  char AemTxt[11];
  char AemKal[6];
  std::int32_t AemLkz;
  std::int32_t AemVzt;
  std::int32_t AemEzt;
  std::int32_t AemPrz;
  std::int32_t AemAfz;
  std::int32_t AemApz;
  std::int32_t AemPrp;
  std::int32_t AemAfp;
  std::int32_t AemApp;
  char KalBtp[4];
  std::int32_t BakJhr;
  std::int32_t BakMon;
  std::int32_t BakWch;
  std::int32_t BakWtg;
  std::int32_t BakJtg;
  char KalDtm[9];
  std::int32_t AemMaz;
};

// One shift of a shift model; times are minutes of the day.
struct Kvn533Emo {
  char EmoEmo[11];
  char EmoTtp[4];
  char EmoTxt[11];
  std::int32_t EmoBeg;
  std::int32_t EmoEnd;
  std::int32_t EmoArt;
};

// One break of a shift: the shift's fields, then the break's.
struct EmoPmsRow {
  char EmoEmo[11];
  char EmoTtp[4];
  char EmoTxt[11];
  std::int32_t EmoBeg;
  std::int32_t EmoEnd;
  std::int32_t EmoArt;
  char PmsNum[6];
  std::int32_t PmsBeg;
  std::int32_t PmsEnd;
  std::int32_t PmsInt;
  std::int32_t PmsPse;
  std::int32_t PmsBzt;
  std::int32_t PmsPrz;
};

// One evaluation parameter row.
struct Kvn591Nzp {
  std::int32_t NzpAkz;
  char NzpGvn[9];
  char NzpGbi[9];
  std::int32_t NzpAak;
  std::int32_t NzpAwt;
  std::int32_t NzpKjh;
  std::int32_t NzpKmn;
  std::int32_t NzpKwo;
  std::int32_t NzpKtg;
  std::int32_t NzpAan;
  std::int32_t NzpVfh;
  std::int32_t NzpNfh;
  std::int32_t NzpMrk;
  char NzpAdt[15];  // neither read nor written
  char NzpAus[9];
};

// Workplaces.
int Apl_PKeySel(Kvn531Apl* rec);
int Apl_PKeyOpen(const char* lower, const char* upper);
int Apl_PKeyRead(Kvn531Apl* rec);
int Apl_PKeyClose();
int Apl_Apg_Open(const char* apg);
int Apl_Apg_Read(Kvn531Apl* rec);
int Apl_Apg_Close();

// Works calendar.
int Bak_DayAdd(Kvn133Bak* rec);
int Bak_DayCount(Kvn133Bak* rec);

// Shift models.
int Aem_Apg_Open(const AemDayRow* rec);
int Aem_Apg_Read(AemDayRow* rec);
int Aem_Apg_Close();
int Aem_Count(const char* apl, std::int32_t* count);
int Emo_PKeyOpen(const char* emo, const char* ttp);
int Emo_PKeyRead(Kvn533Emo* rec);
int Emo_PKeyClose();
int Pms_Emo_Open(const char* emo, const char* ttp, const char* date);
int Pms_Emo_Read(EmoPmsRow* rec);
int Pms_Emo_Close();
int Pms_SumPause(EmoPmsRow* rec, const char* date);

// Evaluation parameters.
int Nzp_PKeyRead(Kvn591Nzp* rec);
int Nzp_PKeyUpd(const Kvn591Nzp* rec);

// Every statement of the module (for guarded writes the statement itself).
const std::vector<const rt::Statement*>& DbstdStatements();

}  // namespace db

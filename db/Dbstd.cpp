#include "db/Dbstd.h"

#include <array>
#include <cstring>
#include <string_view>

#include "util/Text.h"

namespace db {
namespace {

using pelvaro::CopyText;
using pelvaro::CopyField;
using pelvaro::TextOf;

// ---------------------------------------------------------------------------
// Statements, each as the site's database runs it.

const rt::Statement kAplPKeySel{
    "Apl_PKeySel",
    "select AplApl ,AplBez ,AplTxt ,AplApg ,AplFbe ,AplSts ,AplSis ,AplApr ,AplAaf ,AplUbg "
    ",TO_CHAR(AplUdt,'yyyymmddHH24MISS') ,AplTag ,AplVrf ,AplRsp ,AplRsi ,AplAfp ,AplAfi ,AplPau "
    ",AplUnt ,AplIak ,AplAvt ,AplKap ,AplAvr ,AplAvp ,AplSt1 ,AplSt2 ,AplSt3 ,AplSf1 ,AplSf2 "
    ",AplSf3 ,AplZf1 ,AplZf2 ,AplZf3 ,AplDna ,AplDwn ,AplSta ,AplErf into "
    ":b0:b1,:b2:b3,:b4:b5,:b6:b7,:b8:b9,:b10:b11,:b12:b13,:b14:b15,:b16:b17,:b18:b19,:b20:b21,"
    ":b22:b23,:b24:b25,:b26:b27,:b28:b29,:b30:b31,:b32:b33,:b34:b35,:b36:b37,:b38:b39,:b40:b41,"
    ":b42:b43,:b44:b45,:b46:b47,:b48:b49,:b50:b51,:b52:b53,:b54:b55,:b56:b57,:b58:b59,:b60:b61,"
    ":b62:b63,:b64:b65,:b66:b67,:b68:b69,:b70:b71,:b72:b73  from Kvn531Apl where AplApl=:b0"};

const rt::Statement kAplPKeyCursor{
    "Apl_PKeyOpen",
    "select AplApl ,AplBez ,AplTxt ,AplApg ,AplFbe ,AplSts ,AplSis ,AplApr ,AplAaf ,AplUbg "
    ",TO_CHAR(AplUdt,'yyyymmddHH24MISS') ,AplTag ,AplVrf ,AplRsp ,AplRsi ,AplAfp ,AplAfi ,AplPau "
    ",AplUnt ,AplIak ,AplAvt ,AplKap ,AplAvr ,AplAvp ,AplSt1 ,AplSt2 ,AplSt3 ,AplSf1 ,AplSf2 "
    ",AplSf3 ,AplZf1 ,AplZf2 ,AplZf3 ,AplDna ,AplDwn ,AplSta ,AplErf  from Kvn531Apl where "
    "(AplApl>:b0 and AplApl<:b1) order by AplApl"};

const rt::Statement kAplApgCursor{
    "Apl_Apg_Open",
    "select AplApl ,AplBez ,AplTxt ,AplApg ,AplFbe ,AplSts ,AplSis ,AplApr ,AplAaf ,AplUbg "
    ",TO_CHAR(AplUdt,'yyyymmddHH24MISS') ,AplTag ,AplVrf ,AplRsp ,AplRsi ,AplAfp ,AplAfi ,AplPau "
    ",AplUnt ,AplIak ,AplAvt ,AplKap ,AplAvr ,AplAvp ,AplSt1 ,AplSt2 ,AplSt3 ,AplSf1 ,AplSf2 "
    ",AplSf3 ,AplZf1 ,AplZf2 ,AplZf3 ,AplDna ,AplDwn ,AplSta ,AplErf  from Kvn531Apl where "
    "AplApg=:b0 order by AplApl"};

const rt::Statement kBakDayAdd{
    "Bak_DayAdd",
    "select TO_CHAR(BakDtm,'yyyymmdd') ,BakJhr ,BakMon ,BakTag ,BakWch ,BakWtg ,BakJtg into "
    ":b0:b1,:b2:b3,:b4:b5,:b6:b7,:b8:b9,:b10:b11,:b12:b13  from KvSystem.Kvn133Bak where "
    "BakDtm=(TO_DATE(:b14,'yyyymmdd')+:b15)",
    // The target day on the raw column, so that the key serves the lookup.
    "BakDtm>=DAYLO(:b14,:b15) and BakDtm<DAYHI(:b14,:b15)"};

const rt::Statement kBakDayCount{
    "Bak_DayCount",
    "select count(*)  into :b0  from Kvn133Bak where (BakDtm>TO_DATE(:b1,'yyyymmdd') and "
    "BakDtm<=TO_DATE(:b2,'yyyymmdd'))"};

const rt::Statement kAemApgCursor{
    "Aem_Apg_Open",
    "select AemApg ,AemEmo ,TO_CHAR(AemGvo,'yyyymmdd') ,AemBez ,AemTxt ,AemKal ,AemLkz ,AemVzt "
    ",AemEzt ,AemPrz ,AemAfz ,AemApz ,AemPrp ,AemAfp ,AemApp ,KalBtp ,TO_CHAR(KalDtm,'yyyymmdd') "
    ",BakJhr ,BakMon ,BakWch ,BakWtg ,BakJtg ,AemMaz  from Kvn532Aem ,KvSystem.Kvn133Kal "
    ",KvSystem.Kvn133Bak ,Kvn533Emo where ((((((((AemApg=:b0 and AemKng=:b1) and "
    "TO_CHAR(AemGvo,'yyyymmdd')<=:b2) and (TO_CHAR(AemGbi,'yyyymmdd')>=:b2 or AemGbi is null )) "
    "and AemKal=KalNum) and TO_CHAR(KalDtm,'yyyymmdd')=:b2) and TO_CHAR(BakDtm,'yyyymmdd')=:b2) "
    "and AemEmo=EmoEmo) and EmoTtp=KalBtp) order by EmoBeg",
    // The day on the raw calendar columns, so that their keys serve the join.
    "KalDtm>=DAYLO(:b2) and KalDtm<DAYHI(:b2) and BakDtm>=DAYLO(:b2) and BakDtm<DAYHI(:b2)"};

const rt::Statement kAemCount{
    "Aem_Count", "select count(*)  into :b0  from Kvn532Aem where (AemApg=:b1 and AemKng=2)"};

const rt::Statement kEmoPKeyCursor{
    "Emo_PKeyOpen",
    "select EmoEmo ,EmoTtp ,EmoTxt ,EmoBeg ,EmoEnd ,EmoArt  from Kvn533Emo where (EmoEmo=:b0 and "
    "EmoTtp=:b1) order by EmoBeg"};

const rt::Statement kPmsEmoCursor{
    "Pms_Emo_Open",
    "select EmoEmo ,EmoTtp ,EmoTxt ,EmoBeg ,EmoEnd ,PmsNum ,PmsBeg ,PmsEnd ,PmsInt ,PmsPse ,PmsBzt "
    ",PmsPrz  from Kvn533Emo ,Kvn536Pmz ,Kvn535Pms where (((((EmoEmo=:b0 and EmoTtp=:b1) and "
    "EmoPmo=PmzPmo) and PmzPms=PmsNum) and TO_CHAR(PmzGvo,'yyyymmdd')<=:b2) and "
    "TO_CHAR(PmzGbi,'yyyymmdd')>=:b2) order by EmoBeg"};

const rt::Statement kPmsSumSameDay{
    "Pms_SumPause",
    "select sum((PmsEnd-PmsBeg)) into :b0:b1  from Kvn533Emo ,Kvn536Pmz ,Kvn535Pms where "
    "((((((EmoEmo=:b2 and EmoTtp=:b3) and EmoPmo=PmzPmo) and PmzPms=PmsNum) and "
    "TO_CHAR(PmzGvo,'yyyymmdd')<=:b4) and TO_CHAR(PmzGbi,'yyyymmdd')>=:b4) and PmsEnd>=PmsBeg)"};

const rt::Statement kPmsSumOverMidnight{
    "Pms_SumPause",
    "select sum(((PmsEnd+1440)-PmsBeg)) into :b0:b1  from Kvn533Emo ,Kvn536Pmz ,Kvn535Pms where "
    "((((((EmoEmo=:b2 and EmoTtp=:b3) and EmoPmo=PmzPmo) and PmzPms=PmsNum) and "
    "TO_CHAR(PmzGvo,'yyyymmdd')<=:b4) and TO_CHAR(PmzGbi,'yyyymmdd')>=:b4) and PmsEnd<PmsBeg)"};

const rt::Statement kNzpPKeyRead{
    "Nzp_PKeyRead",
    "select NzpAkz ,TO_CHAR(NzpGvn,'yyyymmdd') ,TO_CHAR(NzpGbi,'yyyymmdd') ,NzpAak ,NzpAwt ,NzpKjh "
    ",NzpKmn ,NzpKwo ,NzpKtg ,NzpAan ,NzpVfh ,NzpNfh ,NzpAus ,NzpMrk into "
    ":b0:b1,:b2:b3,:b4:b5,:b6:b7,:b8:b9,:b10:b11,:b12:b13,:b14:b15,:b16:b17,:b18:b19,:b20:b21,"
    ":b22:b23,:b24:b25,:b26:b27  from Kvn591Nzp where ((NzpAkz=:b0 and NzpGvn<trunc(sysdate)) and "
    "NzpGbi>trunc(sysdate))"};

const rt::WriteStatement kNzpPKeyUpd{
    {"Nzp_PKeyUpd",
     "update KVN591Nzp  set NzpAdt=sysdate,NzpAan=:b0,NzpVfh=:b1,NzpNfh=:b2,NzpAus=:b3 where "
     "((NzpAkz=:b4 and NzpGvn=TO_DATE(:b5,'yyyymmdd')) and NzpGbi=TO_DATE(:b6,'yyyymmdd'))"},
    "savepoint Nzp_PKeyUpd_Sp",
    "rollback  to Nzp_PKeyUpd_Sp"};

// ---------------------------------------------------------------------------
// The module's column buffers, shared by all operations.

struct AplColumns {
  char AplApl[11];
  char AplBez[31];
  char AplTxt[11];
  char AplApg[11];
  char AplFbe[11];
  std::int16_t AplSts;
  std::int16_t AplSis;
  std::int32_t AplApr;
  std::int32_t AplAaf;
  char AplUbg[5];
  char AplUdt[15];
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
  char AplZf1[31];
  char AplZf2[31];
  char AplZf3[31];
  char AplDna[4];
  char AplDwn[9];
  std::int16_t AplSta;
  char AplErf[9];
  // Bounds of the number cursor.
  char AplLow[11];
  char AplHigh[11];
};

struct Columns {
  std::int16_t ind;  // one indicator for every output; only the break sums look at it
  std::int32_t count;
  std::int32_t sum;
  AplColumns apl;
  Kvn133Bak bak;
  AemDayRow aem;
  EmoPmsRow emo;  // shifts and breaks
  char date[9];   // the date of the break cursor and the break sums
  Kvn591Nzp nzp;
};

Columns g;

template <std::size_t N>
rt::HostVar Out(char (&buf)[N]) {
  rt::HostVar v = rt::Text(buf);
  v.indicator = &g.ind;
  return v;
}
rt::HostVar Out(std::int16_t* v) {
  rt::HostVar h = rt::Int16(v);
  h.indicator = &g.ind;
  return h;
}
rt::HostVar Out(std::int32_t* v) {
  rt::HostVar h = rt::Int32(v);
  h.indicator = &g.ind;
  return h;
}
rt::HostVar Out(double* v) {
  rt::HostVar h = rt::Float64(v);
  h.indicator = &g.ind;
  return h;
}

// An input text into its column buffer: at most N - 1 characters, a null
// pointer as empty.
template <std::size_t N>
void In(char (&dst)[N], const char* src) {
  CopyText(dst, src ? std::string_view(src, strnlen(src, N)) : std::string_view());
}

// The 37 outputs of every workplace read, in select order.
const std::array<rt::HostVar, 37> kAplOut = {
    Out(g.apl.AplApl), Out(g.apl.AplBez), Out(g.apl.AplTxt), Out(g.apl.AplApg),
    Out(g.apl.AplFbe), Out(&g.apl.AplSts), Out(&g.apl.AplSis), Out(&g.apl.AplApr),
    Out(&g.apl.AplAaf), Out(g.apl.AplUbg), Out(g.apl.AplUdt), Out(&g.apl.AplTag),
    Out(&g.apl.AplVrf), Out(&g.apl.AplRsp), Out(&g.apl.AplRsi), Out(&g.apl.AplAfp),
    Out(&g.apl.AplAfi), Out(&g.apl.AplPau), Out(&g.apl.AplUnt), Out(&g.apl.AplIak),
    Out(&g.apl.AplAvt), Out(&g.apl.AplKap), Out(&g.apl.AplAvr), Out(&g.apl.AplAvp),
    Out(g.apl.AplSt1), Out(g.apl.AplSt2), Out(g.apl.AplSt3), Out(&g.apl.AplSf1),
    Out(&g.apl.AplSf2), Out(&g.apl.AplSf3), Out(g.apl.AplZf1), Out(g.apl.AplZf2),
    Out(g.apl.AplZf3), Out(g.apl.AplDna), Out(g.apl.AplDwn), Out(&g.apl.AplSta),
    Out(g.apl.AplErf)};

void AplToRecord(Kvn531Apl* rec) {
  const AplColumns& c = g.apl;
  CopyField(rec->AplApl, c.AplApl);
  CopyField(rec->AplBez, c.AplBez);
  CopyField(rec->AplTxt, c.AplTxt);
  CopyField(rec->AplApg, c.AplApg);
  CopyField(rec->AplFbe, c.AplFbe);
  rec->AplSts = c.AplSts;
  rec->AplSis = c.AplSis;
  rec->AplApr = c.AplApr;
  rec->AplAaf = c.AplAaf;
  CopyField(rec->AplUbg, c.AplUbg);
  CopyField(rec->AplUdt, c.AplUdt);
  CopyField(rec->AplZf1, c.AplZf1);
  CopyField(rec->AplZf2, c.AplZf2);
  CopyField(rec->AplZf3, c.AplZf3);
  rec->AplTag = c.AplTag;
  rec->AplVrf = c.AplVrf;
  rec->AplRsp = c.AplRsp;
  rec->AplRsi = c.AplRsi;
  rec->AplAfp = c.AplAfp;
  rec->AplAfi = c.AplAfi;
  rec->AplPau = c.AplPau;
  rec->AplUnt = c.AplUnt;
  rec->AplIak = c.AplIak;
  rec->AplAvt = c.AplAvt;
  rec->AplKap = c.AplKap;
  rec->AplAvr = c.AplAvr;
  rec->AplAvp = c.AplAvp;
  CopyField(rec->AplSt1, c.AplSt1);
  CopyField(rec->AplSt2, c.AplSt2);
  CopyField(rec->AplSt3, c.AplSt3);
  rec->AplSf1 = c.AplSf1;
  rec->AplSf2 = c.AplSf2;
  rec->AplSf3 = c.AplSf3;
  CopyField(rec->AplDna, c.AplDna);
  CopyField(rec->AplDwn, c.AplDwn);
  rec->AplSta = c.AplSta;
  CopyField(rec->AplErf, c.AplErf);
}

const std::array<rt::HostVar, 7> kBakOut = {
    Out(g.bak.BakDtm),  Out(&g.bak.BakJhr), Out(&g.bak.BakMon), Out(&g.bak.BakTag),
    Out(&g.bak.BakWch), Out(&g.bak.BakWtg), Out(&g.bak.BakJtg)};

const std::array<rt::HostVar, 23> kAemOut = {
    Out(g.aem.AemApg),  Out(g.aem.AemEmo),  Out(g.aem.AemGvo),  Out(g.aem.AemBez),
    Out(g.aem.AemTxt),  Out(g.aem.AemKal),  Out(&g.aem.AemLkz), Out(&g.aem.AemVzt),
    Out(&g.aem.AemEzt), Out(&g.aem.AemPrz), Out(&g.aem.AemAfz), Out(&g.aem.AemApz),
    Out(&g.aem.AemPrp), Out(&g.aem.AemAfp), Out(&g.aem.AemApp), Out(g.aem.KalBtp),
    Out(g.aem.KalDtm),  Out(&g.aem.BakJhr), Out(&g.aem.BakMon), Out(&g.aem.BakWch),
    Out(&g.aem.BakWtg), Out(&g.aem.BakJtg), Out(&g.aem.AemMaz)};

const std::array<rt::HostVar, 6> kEmoOut = {Out(g.emo.EmoEmo),  Out(g.emo.EmoTtp),
                                            Out(g.emo.EmoTxt),  Out(&g.emo.EmoBeg),
                                            Out(&g.emo.EmoEnd), Out(&g.emo.EmoArt)};

const std::array<rt::HostVar, 12> kPmsOut = {
    Out(g.emo.EmoEmo),  Out(g.emo.EmoTtp),  Out(g.emo.EmoTxt),  Out(&g.emo.EmoBeg),
    Out(&g.emo.EmoEnd), Out(g.emo.PmsNum),  Out(&g.emo.PmsBeg), Out(&g.emo.PmsEnd),
    Out(&g.emo.PmsInt), Out(&g.emo.PmsPse), Out(&g.emo.PmsBzt), Out(&g.emo.PmsPrz)};

const std::array<rt::HostVar, 14> kNzpOut = {
    Out(&g.nzp.NzpAkz), Out(g.nzp.NzpGvn),  Out(g.nzp.NzpGbi),  Out(&g.nzp.NzpAak),
    Out(&g.nzp.NzpAwt), Out(&g.nzp.NzpKjh), Out(&g.nzp.NzpKmn), Out(&g.nzp.NzpKwo),
    Out(&g.nzp.NzpKtg), Out(&g.nzp.NzpAan), Out(&g.nzp.NzpVfh), Out(&g.nzp.NzpNfh),
    Out(g.nzp.NzpAus),  Out(&g.nzp.NzpMrk)};

rt::Cursor aplPKeyCursor;
rt::Cursor aplApgCursor;
rt::Cursor aemApgCursor;
rt::Cursor emoPKeyCursor;
rt::Cursor pmsEmoCursor;

}  // namespace

// ---------------------------------------------------------------------------
// Workplaces

int Apl_PKeySel(Kvn531Apl* rec) {
  CopyField(g.apl.AplApl, rec->AplApl);
  const rt::HostVar in[] = {rt::Text(g.apl.AplApl)};
  int status = rt::SelectOne(kAplPKeySel, in, kAplOut);
  if (status == rt::kOk) {
    AplToRecord(rec);
  } else {
    // The record keeps its number; everything else reads as empty.
    char apl[sizeof rec->AplApl];
    std::memcpy(apl, rec->AplApl, sizeof apl);
    std::memset(rec, 0, sizeof *rec);
    std::memcpy(rec->AplApl, apl, sizeof apl);
  }
  return status;
}

int Apl_PKeyOpen(const char* lower, const char* upper) {
  In(g.apl.AplLow, lower);
  In(g.apl.AplHigh, upper);
  const rt::HostVar in[] = {rt::Text(g.apl.AplLow), rt::Text(g.apl.AplHigh)};
  return rt::Open(aplPKeyCursor, kAplPKeyCursor, in);
}

int Apl_PKeyRead(Kvn531Apl* rec) {
  int status = rt::Fetch(aplPKeyCursor, kAplOut);
  if (status == rt::kOk) AplToRecord(rec);
  return status;
}

int Apl_PKeyClose() { return rt::Close(aplPKeyCursor); }

int Apl_Apg_Open(const char* apg) {
  In(g.apl.AplApg, apg);
  const rt::HostVar in[] = {rt::Text(g.apl.AplApg)};
  return rt::Open(aplApgCursor, kAplApgCursor, in);
}

int Apl_Apg_Read(Kvn531Apl* rec) {
  int status = rt::Fetch(aplApgCursor, kAplOut);
  if (status == rt::kOk) AplToRecord(rec);
  return status;
}

int Apl_Apg_Close() { return rt::Close(aplApgCursor); }

// ---------------------------------------------------------------------------
// Works calendar

int Bak_DayAdd(Kvn133Bak* rec) {
  CopyField(g.bak.BakDtm, rec->BakDtm);
  g.bak.BakDays = rec->BakDays;
  const rt::HostVar in[] = {rt::Text(g.bak.BakDtm), rt::Int32(&g.bak.BakDays)};
  int status = rt::SelectOne(kBakDayAdd, in, kBakOut);
  if (status == rt::kOk) {
    CopyField(rec->BakDtm, g.bak.BakDtm);
    rec->BakJhr = g.bak.BakJhr;
    rec->BakMon = g.bak.BakMon;
    rec->BakTag = g.bak.BakTag;
    rec->BakWch = g.bak.BakWch;
    rec->BakWtg = g.bak.BakWtg;
    rec->BakJtg = g.bak.BakJtg;
  }
  return status;
}

int Bak_DayCount(Kvn133Bak* rec) {
  CopyField(g.bak.BakDtm, rec->BakDtm);
  CopyField(g.bak.BakDtm2, rec->BakDtm2);
  const rt::HostVar in[] = {rt::Text(g.bak.BakDtm), rt::Text(g.bak.BakDtm2)};
  const rt::HostVar out[] = {rt::Int32(&g.count)};
  int status = rt::SelectOne(kBakDayCount, in, out);
  if (status == rt::kOk) rec->BakDays = g.count;
  return status;
}

// ---------------------------------------------------------------------------
// Shift models

int Aem_Apg_Open(const AemDayRow* rec) {
  CopyField(g.aem.AemApg, rec->AemApg);
  g.aem.AemKng = rec->AemKng;
  CopyField(g.aem.KalDtm, rec->KalDtm);
  const rt::HostVar in[] = {rt::Text(g.aem.AemApg), rt::Int32(&g.aem.AemKng),
                            rt::Text(g.aem.KalDtm)};
  return rt::Open(aemApgCursor, kAemApgCursor, in);
}

int Aem_Apg_Read(AemDayRow* rec) {
  int status = rt::Fetch(aemApgCursor, kAemOut);
  if (status != rt::kOk) return status;
  const AemDayRow& c = g.aem;
  CopyField(rec->AemApg, c.AemApg);
  CopyField(rec->AemEmo, c.AemEmo);
  CopyField(rec->AemGvo, c.AemGvo);
  CopyField(rec->AemBez, c.AemBez);
  CopyField(rec->AemTxt, c.AemTxt);
  CopyField(rec->AemKal, c.AemKal);
  rec->AemLkz = c.AemLkz;
  rec->AemVzt = c.AemVzt;
  rec->AemEzt = c.AemEzt;
  rec->AemPrz = c.AemPrz;
  rec->AemAfz = c.AemAfz;
  rec->AemApz = c.AemApz;
  rec->AemPrp = c.AemPrp;
  rec->AemAfp = c.AemAfp;
  rec->AemApp = c.AemApp;
  CopyField(rec->KalBtp, c.KalBtp);
  CopyField(rec->KalDtm, c.KalDtm);
  rec->BakJhr = c.BakJhr;
  rec->BakMon = c.BakMon;
  rec->BakWch = c.BakWch;
  rec->BakWtg = c.BakWtg;
  rec->BakJtg = c.BakJtg;
  rec->AemMaz = c.AemMaz;
  return status;
}

int Aem_Apg_Close() { return rt::Close(aemApgCursor); }

int Aem_Count(const char* apl, std::int32_t* count) {
  In(g.aem.AemApg, apl);
  const rt::HostVar in[] = {rt::Text(g.aem.AemApg)};
  const rt::HostVar out[] = {rt::Int32(&g.count)};
  int status = rt::SelectOne(kAemCount, in, out);
  if (status == rt::kOk && count) *count = g.count;
  return status;
}

int Emo_PKeyOpen(const char* emo, const char* ttp) {
  In(g.emo.EmoEmo, emo);
  In(g.emo.EmoTtp, ttp);
  const rt::HostVar in[] = {rt::Text(g.emo.EmoEmo), rt::Text(g.emo.EmoTtp)};
  return rt::Open(emoPKeyCursor, kEmoPKeyCursor, in);
}

int Emo_PKeyRead(Kvn533Emo* rec) {
  int status = rt::Fetch(emoPKeyCursor, kEmoOut);
  if (status != rt::kOk) return status;
  CopyField(rec->EmoEmo, g.emo.EmoEmo);
  CopyField(rec->EmoTtp, g.emo.EmoTtp);
  CopyField(rec->EmoTxt, g.emo.EmoTxt);
  rec->EmoBeg = g.emo.EmoBeg;
  rec->EmoEnd = g.emo.EmoEnd;
  rec->EmoArt = g.emo.EmoArt;
  return status;
}

int Emo_PKeyClose() { return rt::Close(emoPKeyCursor); }

int Pms_Emo_Open(const char* emo, const char* ttp, const char* date) {
  In(g.emo.EmoEmo, emo);
  In(g.emo.EmoTtp, ttp);
  In(g.date, date);
  const rt::HostVar in[] = {rt::Text(g.emo.EmoEmo), rt::Text(g.emo.EmoTtp), rt::Text(g.date)};
  return rt::Open(pmsEmoCursor, kPmsEmoCursor, in);
}

int Pms_Emo_Read(EmoPmsRow* rec) {
  int status = rt::Fetch(pmsEmoCursor, kPmsOut);
  if (status != rt::kOk) return status;
  const EmoPmsRow& c = g.emo;
  CopyField(rec->EmoEmo, c.EmoEmo);
  CopyField(rec->EmoTtp, c.EmoTtp);
  CopyField(rec->EmoTxt, c.EmoTxt);
  rec->EmoBeg = c.EmoBeg;
  rec->EmoEnd = c.EmoEnd;
  CopyField(rec->PmsNum, c.PmsNum);
  rec->PmsBeg = c.PmsBeg;
  rec->PmsEnd = c.PmsEnd;
  rec->PmsInt = c.PmsInt;
  rec->PmsPse = c.PmsPse;
  rec->PmsBzt = c.PmsBzt;
  rec->PmsPrz = c.PmsPrz;
  return status;
}

int Pms_Emo_Close() { return rt::Close(pmsEmoCursor); }

int Pms_SumPause(EmoPmsRow* rec, const char* date) {
  CopyField(g.emo.EmoEmo, rec->EmoEmo);
  CopyField(g.emo.EmoTtp, rec->EmoTtp);
  In(g.date, date);
  const rt::HostVar in[] = {rt::Text(g.emo.EmoEmo), rt::Text(g.emo.EmoTtp), rt::Text(g.date)};
  const rt::HostVar out[] = {Out(&g.sum)};

  // Breaks within one day.
  int status = rt::SelectOne(kPmsSumSameDay, in, out);
  if (status != rt::kOk && status != rt::kNoData) return status;
  rec->PmsPse = (status == rt::kNoData || g.ind == -1) ? 0 : g.sum;

  // Breaks that pass midnight.
  status = rt::SelectOne(kPmsSumOverMidnight, in, out);
  if (status == rt::kOk && g.ind != -1) rec->PmsPse += g.sum;
  return status;
}

// ---------------------------------------------------------------------------
// Evaluation parameters

int Nzp_PKeyRead(Kvn591Nzp* rec) {
  g.nzp.NzpAkz = rec->NzpAkz;
  const rt::HostVar in[] = {rt::Int32(&g.nzp.NzpAkz)};
  int status = rt::SelectOne(kNzpPKeyRead, in, kNzpOut);
  if (status != rt::kOk) return status;
  const Kvn591Nzp& c = g.nzp;
  rec->NzpAkz = c.NzpAkz;
  CopyField(rec->NzpGvn, c.NzpGvn);
  CopyField(rec->NzpGbi, c.NzpGbi);
  rec->NzpAak = c.NzpAak;
  rec->NzpAwt = c.NzpAwt;
  rec->NzpKjh = c.NzpKjh;
  rec->NzpKmn = c.NzpKmn;
  rec->NzpKwo = c.NzpKwo;
  rec->NzpKtg = c.NzpKtg;
  rec->NzpAan = c.NzpAan;
  rec->NzpVfh = c.NzpVfh;
  rec->NzpNfh = c.NzpNfh;
  CopyField(rec->NzpAus, c.NzpAus);
  rec->NzpMrk = c.NzpMrk;
  return status;
}

int Nzp_PKeyUpd(const Kvn591Nzp* rec) {
  g.nzp.NzpAan = rec->NzpAan;
  g.nzp.NzpVfh = rec->NzpVfh;
  g.nzp.NzpNfh = rec->NzpNfh;
  CopyField(g.nzp.NzpAus, rec->NzpAus);
  g.nzp.NzpAkz = rec->NzpAkz;
  CopyField(g.nzp.NzpGvn, rec->NzpGvn);
  CopyField(g.nzp.NzpGbi, rec->NzpGbi);
  const rt::HostVar in[] = {rt::Int32(&g.nzp.NzpAan), rt::Int32(&g.nzp.NzpVfh),
                            rt::Int32(&g.nzp.NzpNfh), rt::Text(g.nzp.NzpAus),
                            rt::Int32(&g.nzp.NzpAkz), rt::Text(g.nzp.NzpGvn),
                            rt::Text(g.nzp.NzpGbi)};
  // A stamp that reaches no row is not a success: it answers 1403.
  return rt::GuardedWrite(kNzpPKeyUpd, in, /*zeroRowsIsNoData=*/true);
}

const std::vector<const rt::Statement*>& DbstdStatements() {
  static const std::vector<const rt::Statement*> all = {
      &kAplPKeySel,    &kAplPKeyCursor, &kAplApgCursor,  &kBakDayAdd,
      &kBakDayCount,   &kAemApgCursor,  &kAemCount,      &kEmoPKeyCursor,
      &kPmsEmoCursor,  &kPmsSumSameDay, &kPmsSumOverMidnight, &kNzpPKeyRead,
      &kNzpPKeyUpd.stmt};
  return all;
}

}  // namespace db

#include "db/DbMel.h"

#include <cstring>
#include <string_view>

#include "util/Text.h"

namespace db {
namespace {

using pelvaro::CopyText;
using pelvaro::CopyField;
using pelvaro::TextOf;

// ---------------------------------------------------------------------------
// Statements. Each text is the one the site's database runs; `range` repeats
// the day bounds the selection implies on the raw date column, so that an
// index on the workplace and the date serves the statement.

const rt::Statement kMelApl{
    "Mel_Apl",
    "select KeyBnr ,KeyLfn ,ObjTyp ,KeyPnr ,KeyApl ,KeyApk ,KeyApp ,Sts00E ,Sts00R ,Sts00A ,Sts00U ,Sts00S ,Sts006 ,sts007 ,Sts008 ,Sts009 ,Sts010 ,Sts011 ,Sts012 ,Sts013 ,Sts014 ,Sts015 ,Sts016 ,TO_CHAR(KeyDat,'yyyymmdd') ,TO_CHAR(KeyUhr,'HH24MISS') ,KeySek ,KeyUbg ,KeyAug ,MelMsk ,MelAwn ,MelFcd ,MelTrm ,MelOff ,MelFnr ,MelGum ,MelFam ,MelMam ,MelNam ,MelZt1 ,MelZt2 ,MelZt3 ,MelMee ,MelAec ,MelTrc ,MelErf ,MelKsb ,MelKdt ,MelKfc ,MelKgm ,MelKfm ,MelKmm ,MelKnm ,KeyTnr  from Kvn560Mel where (((KeyApl=:b0 and (ObjTyp=:b1 or ObjTyp=:b2)) and ((TO_CHAR(KeyDat,'yyyymmdd')>:b3 or (TO_CHAR(KeyDat,'yyyymmdd')=:b3 and TO_CHAR(KeyUhr,'HH24MISS')>:b5)) or ((TO_CHAR(KeyDat,'yyyymmdd')=:b3 and TO_CHAR(KeyUhr,'HH24MISS')=:b5) and KeySek>='00'))) and (TO_CHAR(KeyDat,'yyyymmdd')<:b8 or (TO_CHAR(KeyDat,'yyyymmdd')=:b8 and TO_CHAR(KeyUhr,'HH24MISS')<:b10))) order by Keyapl,TO_CHAR(KeyDat,'yyyymmdd'),TO_CHAR(KeyUhr,'HH24MISS'),KeySek",
    "KeyDat>=DAYLO(:b3) and KeyDat<DAYHI(:b8)"};

const rt::Statement kMelAplDesc{
    "Mel_AplDesc",
    "select KeyBnr ,KeyLfn ,ObjTyp ,KeyPnr ,KeyApl ,KeyApk ,KeyApp ,Sts00E ,Sts00R ,Sts00A ,Sts00U ,Sts00S ,Sts006 ,sts007 ,Sts008 ,Sts009 ,Sts010 ,Sts011 ,Sts012 ,Sts013 ,Sts014 ,Sts015 ,Sts016 ,TO_CHAR(KeyDat,'yyyymmdd') ,TO_CHAR(KeyUhr,'HH24MISS') ,KeySek ,KeyUbg ,KeyAug ,MelMsk ,MelAwn ,MelFcd ,MelTrm ,MelOff ,MelFnr ,MelGum ,MelFam ,MelMam ,MelNam ,MelZt1 ,MelZt2 ,MelZt3 ,MelMee ,MelAec ,MelTrc ,MelErf ,MelKsb ,MelKdt ,MelKfc ,MelKgm ,MelKfm ,MelKmm ,MelKnm ,KeyTnr  from Kvn560Mel where (((ObjTyp=:b0 or ObjTyp=:b1) and KeyApl=:b2) and ((TO_CHAR(KeyDat,'yyyymmdd')>:b3 or (TO_CHAR(KeyDat,'yyyymmdd')=:b3 and TO_CHAR(KeyUhr,'HH24MISS')>:b5)) or ((TO_CHAR(KeyDat,'yyyymmdd')=:b3 and TO_CHAR(KeyUhr,'HH24MISS')=:b5) and KeySek>=:b8))) order by TO_CHAR(KeyDat,'yyyymmdd') desc ,TO_CHAR(KeyUhr,'HH24MISS') desc ,KeySek desc",
    "KeyDat>=DAYLO(:b3)"};

const rt::Statement kMapApl{
    "Map_Apl",
    "select MapBnr ,MapObj ,MapPnr ,MapApl ,MapApk ,MapApp ,Map00E ,Map00R ,Map00A ,Map00U ,Map00S ,Map006 ,Map007 ,Map008 ,Map009 ,Map010 ,Map011 ,Map012 ,Map013 ,Map014 ,Map015 ,Map016 ,TO_CHAR(MapMdt,'yyyymmdd') ,TO_CHAR(MapMzt,'HH24MISS') ,MapErf ,MapSts ,MapUbg ,MapTnr  from Kvn565Map where ((MapObj=:b0 or MapObj=:b1) and MapApl=:b2) order by MapObj,MapApl,MapApk,MapApp"};

const rt::WriteStatement kNzaDelSA12{
    {"Nza_Del_SA12",
     "delete  from Kvn590Nza  where (((NzaSa=:b0 and NzaApl=:b1) and TO_CHAR(NzaDtm,'yyyymmdd')>=:b2) and TO_CHAR(NzaDtm,'yyyymmdd')<=:b3)",
     "NzaDtm>=DAYLO(:b2) and NzaDtm<DAYHI(:b3)"},
    "savepoint Nza_Del_SA12_Sp",
    "rollback  to Nza_Del_SA12_Sp"};

const rt::WriteStatement kNzaPKeyIns{
    {"Nza_PKeyIns",
     "insert into Kvn590Nza (NzaSa,NzaApl,NzaApk,NzaApp,NzaPnr,NzaDtm,NzaBeg,NzaBbn,NzaBln,NzaBmk,NzaEdt,NzaEnd,NzaEbn,NzaEln,NzaEmk,NzaUbg,NzaRau,NzaVar,Nza00A,Nza00U,Nza00S,NzaEmo,NzaWtg,NzaJtg,NzaTtp,NzaJwo,NzaWoc,NzaPzm,NzaMaz,NzaNzr,NzaBzr,NzaUzr,NzaPzr,NzaRbz,NzaNza,NzaBzA,NzaUza,NzaPza,NzaAbz,NzaNzu,NzaBzu,NzaPzu,NzaUbz,NzaSol,NzaIst,NzaPau,NzaRf1,NzaRf2,NzaRf3,NzaFnr,NzaDat,NzaErf,NzaGum,NzaAum,NzaTnr) values (:b0,:b1,:b2,:b3,:b4,TO_DATE(:b5,'yyyymmddHH24MISS'),:b6,:b7,:b8,:b9,TO_DATE(:b10,'yyyymmddHH24MISS'),:b11,:b12,:b13,:b14,:b15,:b16,:b17,:b18,:b19,:b20,:b21,:b22,:b23,:b24,:b25,:b26,:b27,:b28,:b29,:b30,:b31,:b32,:b33,:b34,:b35,:b36,:b37,:b38,:b39,:b40,:b41,:b42,:b43,:b44,:b45,:b46,:b47,:b48,:b49,sysdate,:b50,:b51,:b52,:b53)"},
    "savepoint Nza_PKeyIns_Sp",
    "rollback  to Nza_PKeyIns_Sp"};

const rt::Statement kMrkMrkKng{
    "Mrk_MrkKng",
    "select MrkKng ,MrkApl ,MrkApk ,MrkApp ,MrkPnr ,MrkBnr ,TO_CHAR(MrkMdt,'yyyymmddHH24MISS') ,MrkObj ,MrkEsb  from Kvn563Mrk where MrkKng=:b0 order by MrkApl,MrkApk,MrkApp,MrkMdt"};

const rt::WriteStatement kMrkPKeyDel{
    {"Mrk_PKeyDel",
     "delete  from Kvn563Mrk  where (((((MrkKng=:b0 and MrkApl=:b1) and MrkApk=:b2) and MrkApp=:b3) and MrkPnr=:b4) and MrkBnr=:b5)"},
    "savepoint Mrk_PKeyDel_Sp",
    "rollback  to Mrk_PKeyDel_Sp"};

const rt::WriteStatement kMrkDelAplLzm{
    {"Mrk_Del_AplLzm",
     "delete  from Kvn563Mrk  where ((MrkKng=:b0 and MrkApl=:b1) and TO_CHAR(MrkMdt,'yyyymmdd')>=:b2)",
     "MrkMdt>=DAYLO(:b2)"},
    "savepoint Mrk_Del_AplLzm_Sp",
    "rollback  to Mrk_Del_AplLzm_Sp"};

// ---------------------------------------------------------------------------
// The module's column buffers, shared by all operations. Each operation fills
// the ones it binds, runs its statement and copies its results out before it
// returns.

struct Columns {
  // Selection values.
  char apl[11];
  char objTyp1[4];
  char objTyp2[4];
  char fromDay[9];
  char fromTime[7];
  char toDay[9];
  char toTime[7];
  char sek[3];
  std::int16_t sa;

  // Booking message row, with MelFnr in its 16-bit transfer form.
  Kvn560Mel mel;
  std::int16_t melFnr;
  // Message buffer row.
  Kvn565Map map;
  // Evaluation result, with the two timestamp texts of the insert.
  Kvn590Nza nza;
  char nzaDtm[15];
  char nzaEdt[15];
  // Marker row.
  Kvn563Mrk mrk;

  // NULL indicators of the outputs; no operation looks at them.
  std::int16_t ind[53];
};

Columns& Col() {
  static Columns c{};
  return c;
}

rt::Cursor& MelAplCursor() {
  static rt::Cursor c;
  return c;
}
rt::Cursor& MelAplDescCursor() {
  static rt::Cursor c;
  return c;
}
rt::Cursor& MapAplCursor() {
  static rt::Cursor c;
  return c;
}
rt::Cursor& MrkMrkKngCursor() {
  static rt::Cursor c;
  return c;
}

std::string_view Arg(const char* s) { return s ? std::string_view(s) : std::string_view(); }

// Output host variables with indicators, in select-list order.
class Outputs {
 public:
  template <std::size_t N>
  Outputs& Text(char (&buf)[N]) {
    return Add(rt::Text(buf));
  }
  Outputs& Int16(std::int16_t* v) { return Add(rt::Int16(v)); }
  Outputs& Int32(std::int32_t* v) { return Add(rt::Int32(v)); }
  Outputs& Float64(double* v) { return Add(rt::Float64(v)); }
  std::span<const rt::HostVar> Span() const { return {vars_, n_}; }

 private:
  Outputs& Add(rt::HostVar v) {
    v.indicator = &Col().ind[n_];
    vars_[n_++] = v;
    return *this;
  }
  rt::HostVar vars_[53];
  std::size_t n_ = 0;
};

// ---------------------------------------------------------------------------
// Booking messages.

Outputs MelOutputs() {
  Kvn560Mel& m = Col().mel;
  Outputs o;
  o.Int32(&m.KeyBnr).Int32(&m.KeyLfn).Text(m.ObjTyp).Text(m.KeyPnr).Text(m.KeyApl).Text(m.KeyApk)
      .Text(m.KeyApp)
      .Text(m.Sts00E).Text(m.Sts00R).Text(m.Sts00A).Text(m.Sts00U).Text(m.Sts00S).Text(m.Sts006)
      .Text(m.Sts007).Text(m.Sts008).Text(m.Sts009).Text(m.Sts010).Text(m.Sts011).Text(m.Sts012)
      .Text(m.Sts013).Text(m.Sts014).Text(m.Sts015).Text(m.Sts016)
      .Text(m.KeyDat).Text(m.KeyUhr).Text(m.KeySek).Text(m.KeyUbg).Text(m.KeyAug).Text(m.MelMsk)
      .Text(m.MelAwn).Text(m.MelFcd).Text(m.MelTrm).Text(m.MelOff).Int16(&Col().melFnr)
      .Float64(&m.MelGum).Float64(&m.MelFam).Float64(&m.MelMam).Float64(&m.MelNam)
      .Float64(&m.MelZt1).Float64(&m.MelZt2).Float64(&m.MelZt3)
      .Text(m.MelMee).Text(m.MelAec).Text(m.MelTrc).Text(m.MelErf).Text(m.MelKsb).Text(m.MelKdt)
      .Text(m.MelKfc).Float64(&m.MelKgm).Float64(&m.MelKfm).Float64(&m.MelKmm).Float64(&m.MelKnm)
      .Text(m.KeyTnr);
  return o;
}

// The copy step both message reads share.
void CopyMel(int status, Kvn560Mel* rec) {
  if (status != rt::kOk) {
    rec->KeyBnr = 0;
    rec->KeyLfn = 0;
    rec->MelGum = 0.0;
    rec->MelFam = 0.0;
    rec->MelMam = 0.0;
    rec->MelNam = 0.0;
    rec->MelKgm = 0.0;
    rec->MelKfm = 0.0;
    rec->MelKmm = 0.0;
    rec->MelKnm = 0.0;
    return;
  }
  const Kvn560Mel& m = Col().mel;
  rec->KeyBnr = m.KeyBnr;
  rec->KeyLfn = m.KeyLfn;
  CopyField(rec->ObjTyp, m.ObjTyp);
  CopyField(rec->KeyPnr, m.KeyPnr);
  CopyField(rec->KeyApl, m.KeyApl);
  CopyField(rec->KeyApk, m.KeyApk);
  CopyField(rec->KeyApp, m.KeyApp);
  CopyField(rec->Sts00E, m.Sts00E);
  CopyField(rec->Sts00R, m.Sts00R);
  CopyField(rec->Sts00A, m.Sts00A);
  CopyField(rec->Sts00U, m.Sts00U);
  CopyField(rec->Sts00S, m.Sts00S);
  CopyField(rec->Sts006, m.Sts006);
  CopyField(rec->Sts007, m.Sts007);
  CopyField(rec->Sts008, m.Sts008);
  CopyField(rec->Sts009, m.Sts009);
  CopyField(rec->Sts010, m.Sts010);
  CopyField(rec->Sts011, m.Sts011);
  CopyField(rec->Sts012, m.Sts012);
  CopyField(rec->Sts013, m.Sts013);
  CopyField(rec->Sts014, m.Sts014);
  CopyField(rec->Sts015, m.Sts015);
  CopyField(rec->Sts016, m.Sts016);
  CopyField(rec->KeyDat, m.KeyDat);
  CopyField(rec->KeyUhr, m.KeyUhr);
  CopyField(rec->KeySek, m.KeySek);
  CopyField(rec->KeyUbg, m.KeyUbg);
  CopyField(rec->KeyAug, m.KeyAug);
  CopyField(rec->MelMsk, m.MelMsk);
  CopyField(rec->MelFcd, m.MelFcd);
  CopyField(rec->MelAwn, m.MelAwn);
  CopyField(rec->MelTrm, m.MelTrm);
  CopyField(rec->MelOff, m.MelOff);
  rec->MelFnr = Col().melFnr;
  rec->MelGum = m.MelGum;
  rec->MelFam = m.MelFam;
  rec->MelMam = m.MelMam;
  rec->MelNam = m.MelNam;
  CopyField(rec->MelMee, m.MelMee);
  rec->MelZt1 = m.MelZt1;
  rec->MelZt2 = m.MelZt2;
  rec->MelZt3 = m.MelZt3;
  CopyField(rec->MelAec, m.MelAec);
  CopyField(rec->MelTrc, m.MelTrc);
  CopyField(rec->MelKsb, m.MelKsb);
  CopyField(rec->MelKdt, m.MelKdt);
  CopyField(rec->MelKfc, m.MelKfc);
  rec->MelKgm = m.MelKgm;
  rec->MelKfm = m.MelKfm;
  rec->MelKmm = m.MelKmm;
  rec->MelKnm = m.MelKnm;
  CopyField(rec->KeyTnr, m.KeyTnr);
  CopyField(rec->MelErf, m.MelErf);
}

int MelRead(rt::Cursor& cursor, Kvn560Mel* rec) {
  const Outputs out = MelOutputs();
  const int status = rt::Fetch(cursor, out.Span());
  CopyMel(status, rec);
  return status;
}

}  // namespace

int Mel_Apl_Open(const char* apl, const char* fromDay, const char* fromTime, const char* toDay,
                 const char* toTime) {
  Columns& c = Col();
  CopyText(c.apl, Arg(apl));
  CopyText(c.fromDay, Arg(fromDay));
  CopyText(c.fromTime, Arg(fromTime));
  CopyText(c.toDay, Arg(toDay));
  CopyText(c.toTime, Arg(toTime));
  CopyText(c.objTyp1, "M_A");
  CopyText(c.objTyp2, "M__");
  // :b0 :b1 :b2 :b3 :b5 :b8 :b10
  const rt::HostVar in[] = {rt::Text(c.apl),      rt::Text(c.objTyp1), rt::Text(c.objTyp2),
                            rt::Text(c.fromDay),  rt::Text(c.fromTime), rt::Text(c.toDay),
                            rt::Text(c.toTime)};
  return rt::Open(MelAplCursor(), kMelApl, in);
}

int Mel_Apl_Read(Kvn560Mel* rec) { return MelRead(MelAplCursor(), rec); }

int Mel_Apl_Close() { return rt::Close(MelAplCursor()); }

int Mel_AplDesc_Open(const char* apl, const char* day) {
  Columns& c = Col();
  CopyText(c.apl, Arg(apl));
  CopyText(c.fromDay, Arg(day));
  CopyText(c.objTyp1, "M__");
  CopyText(c.objTyp2, "M_A");
  CopyText(c.fromTime, "000000");
  CopyText(c.sek, "00");
  // :b0 :b1 :b2 :b3 :b5 :b8
  const rt::HostVar in[] = {rt::Text(c.objTyp1), rt::Text(c.objTyp2),  rt::Text(c.apl),
                            rt::Text(c.fromDay), rt::Text(c.fromTime), rt::Text(c.sek)};
  return rt::Open(MelAplDescCursor(), kMelAplDesc, in);
}

int Mel_AplDesc_Read(Kvn560Mel* rec) { return MelRead(MelAplDescCursor(), rec); }

int Mel_AplDesc_Close() { return rt::Close(MelAplDescCursor()); }

// ---------------------------------------------------------------------------
// Message buffer records.

int Map_Apl_Open(const char* apl) {
  Columns& c = Col();
  CopyText(c.objTyp1, "M_A");
  CopyText(c.objTyp2, "M__");
  CopyText(c.map.MapApl, Arg(apl));
  const rt::HostVar in[] = {rt::Text(c.objTyp1), rt::Text(c.objTyp2), rt::Text(c.map.MapApl)};
  return rt::Open(MapAplCursor(), kMapApl, in);
}

int Map_Apl_Read(Kvn565Map* rec) {
  Kvn565Map& m = Col().map;
  Outputs o;
  o.Int32(&m.MapBnr).Text(m.MapObj).Text(m.MapPnr).Text(m.MapApl).Text(m.MapApk).Text(m.MapApp)
      .Text(m.Map00E).Text(m.Map00R).Text(m.Map00A).Text(m.Map00U).Text(m.Map00S).Text(m.Map006)
      .Text(m.Map007).Text(m.Map008).Text(m.Map009).Text(m.Map010).Text(m.Map011).Text(m.Map012)
      .Text(m.Map013).Text(m.Map014).Text(m.Map015).Text(m.Map016)
      .Text(m.MapMdt).Text(m.MapMzt).Text(m.MapErf).Text(m.MapSts).Text(m.MapUbg).Text(m.MapTnr);
  const int status = rt::Fetch(MapAplCursor(), o.Span());

  // The key fields come from the buffers whatever the status.
  rec->MapBnr = m.MapBnr;
  CopyField(rec->MapObj, m.MapObj);
  CopyField(rec->MapPnr, m.MapPnr);
  CopyField(rec->MapApl, m.MapApl);
  CopyField(rec->MapApk, m.MapApk);
  CopyField(rec->MapApp, m.MapApp);
  if (status != rt::kOk) return status;
  CopyField(rec->Map00E, m.Map00E);
  CopyField(rec->Map00R, m.Map00R);
  CopyField(rec->Map00A, m.Map00A);
  CopyField(rec->Map00U, m.Map00U);
  CopyField(rec->Map00S, m.Map00S);
  CopyField(rec->Map006, m.Map006);
  CopyField(rec->Map007, m.Map007);
  CopyField(rec->Map008, m.Map008);
  CopyField(rec->Map009, m.Map009);
  CopyField(rec->Map010, m.Map010);
  CopyField(rec->Map011, m.Map011);
  CopyField(rec->Map012, m.Map012);
  CopyField(rec->Map013, m.Map013);
  CopyField(rec->Map014, m.Map014);
  CopyField(rec->Map015, m.Map015);
  CopyField(rec->Map016, m.Map016);
  CopyField(rec->MapMdt, m.MapMdt);
  CopyField(rec->MapMzt, m.MapMzt);
  CopyField(rec->MapErf, m.MapErf);
  CopyField(rec->MapSts, m.MapSts);
  CopyField(rec->MapUbg, m.MapUbg);
  CopyField(rec->MapTnr, m.MapTnr);
  return status;
}

int Map_Apl_Close() { return rt::Close(MapAplCursor()); }

// ---------------------------------------------------------------------------
// Evaluation results.

int Nza_Del_SA12(const char* apl, const char* fromDay, const char* toDay) {
  Columns& c = Col();
  c.sa = 12;
  CopyText(c.apl, Arg(apl));
  CopyText(c.fromDay, Arg(fromDay));
  CopyText(c.toDay, Arg(toDay));
  const rt::HostVar in[] = {rt::Int16(&c.sa), rt::Text(c.apl), rt::Text(c.fromDay),
                            rt::Text(c.toDay)};
  return rt::GuardedWrite(kNzaDelSA12, in);
}

namespace {

// Writes `src` right-aligned in `width` positions at dst, blanks on the left;
// a longer text is written whole. Returns the positions written.
std::size_t RightAligned(char* dst, std::size_t room, std::string_view src, std::size_t width) {
  std::size_t pad = src.size() < width ? width - src.size() : 0;
  std::size_t n = 0;
  for (; n < pad && n < room; ++n) dst[n] = ' ';
  for (std::size_t i = 0; i < src.size() && n < room; ++i) dst[n++] = src[i];
  return n;
}

}  // namespace

int Nza_PKeyIns(const Kvn590Nza* rec) {
  Columns& c = Col();
  Kvn590Nza& n = c.nza;
  n.NzaSa = rec->NzaSa;
  CopyField(n.NzaApl, rec->NzaApl);
  CopyField(n.NzaApk, rec->NzaApk);
  CopyField(n.NzaApp, rec->NzaApp);
  CopyField(n.NzaPnr, rec->NzaPnr);
  CopyField(n.NzaDtmDay, rec->NzaDtmDay);
  CopyField(n.NzaDtmTime, rec->NzaDtmTime);
  n.NzaBeg = rec->NzaBeg;
  n.NzaBbn = rec->NzaBbn;
  n.NzaBln = rec->NzaBln;
  CopyField(n.NzaBmk, rec->NzaBmk);
  CopyField(n.NzaEdtDay, rec->NzaEdtDay);
  CopyField(n.NzaEdtTime, rec->NzaEdtTime);
  n.NzaEnd = rec->NzaEnd;
  n.NzaEbn = rec->NzaEbn;
  n.NzaEln = rec->NzaEln;
  CopyField(n.NzaEmk, rec->NzaEmk);
  CopyField(n.NzaUbg, rec->NzaUbg);
  n.NzaRau = rec->NzaRau;
  n.NzaVar = rec->NzaVar;
  n.Nza00A = rec->Nza00A;
  n.Nza00U = rec->Nza00U;
  n.Nza00S = rec->Nza00S;
  CopyField(n.NzaEmo, rec->NzaEmo);
  n.NzaWtg = rec->NzaWtg;
  n.NzaJtg = rec->NzaJtg;
  CopyField(n.NzaTtp, rec->NzaTtp);
  CopyField(n.NzaJwo, rec->NzaJwo);
  n.NzaWoc = rec->NzaWoc;
  n.NzaPzm = rec->NzaPzm;
  n.NzaMaz = rec->NzaMaz;
  n.NzaGum = rec->NzaGum;
  n.NzaAum = rec->NzaAum;
  n.NzaNzr = rec->NzaNzr;
  n.NzaBzr = rec->NzaBzr;
  n.NzaUzr = rec->NzaUzr;
  n.NzaPzr = rec->NzaPzr;
  n.NzaRbz = rec->NzaRbz;
  n.NzaNza = rec->NzaNza;
  n.NzaBzA = rec->NzaBzA;
  n.NzaUza = rec->NzaUza;
  n.NzaPza = rec->NzaPza;
  n.NzaAbz = rec->NzaAbz;
  n.NzaBzu = rec->NzaBzu;
  n.NzaNzu = rec->NzaNzu;
  n.NzaPzu = rec->NzaPzu;
  n.NzaUbz = rec->NzaUbz;
  n.NzaIst = rec->NzaIst;
  n.NzaSol = rec->NzaSol;
  n.NzaPau = rec->NzaPau;
  n.NzaRf1 = rec->NzaRf1;
  n.NzaRf2 = rec->NzaRf2;
  n.NzaRf3 = rec->NzaRf3;
  n.NzaFnr = rec->NzaFnr;
  CopyField(n.NzaTnr, rec->NzaTnr);
  CopyField(n.NzaErf, rec->NzaErf);

  // Begin: day right-aligned in 8 positions, time in 6, blanks on the left.
  {
    const std::size_t room = sizeof c.nzaDtm - 1;
    std::size_t len = RightAligned(c.nzaDtm, room, TextOf(n.NzaDtmDay), 8);
    len += RightAligned(c.nzaDtm + len, room - len, TextOf(n.NzaDtmTime), 6);
    c.nzaDtm[len] = '\0';
  }
  // End: day and time joined as they are.
  {
    c.nzaEdt[0] = '\0';
    const std::string_view day = TextOf(n.NzaEdtDay);
    const std::string_view time = TextOf(n.NzaEdtTime);
    const std::size_t room = sizeof c.nzaEdt - 1;
    std::size_t len = 0;
    for (std::size_t i = 0; i < day.size() && len < room; ++i) c.nzaEdt[len++] = day[i];
    for (std::size_t i = 0; i < time.size() && len < room; ++i) c.nzaEdt[len++] = time[i];
    c.nzaEdt[len] = '\0';
  }

  // :b0 to :b53, each field under its own placeholder.
  const rt::HostVar in[] = {
      rt::Int16(&n.NzaSa),     // :b0
      rt::Text(n.NzaApl),      // :b1
      rt::Text(n.NzaApk),      // :b2
      rt::Text(n.NzaApp),      // :b3
      rt::Text(n.NzaPnr),      // :b4
      rt::Text(c.nzaDtm),      // :b5
      rt::Int32(&n.NzaBeg),    // :b6
      rt::Int32(&n.NzaBbn),    // :b7
      rt::Int32(&n.NzaBln),    // :b8
      rt::Text(n.NzaBmk),      // :b9
      rt::Text(c.nzaEdt),      // :b10
      rt::Int32(&n.NzaEnd),    // :b11
      rt::Int32(&n.NzaEbn),    // :b12
      rt::Int32(&n.NzaEln),    // :b13
      rt::Text(n.NzaEmk),      // :b14
      rt::Text(n.NzaUbg),      // :b15
      rt::Int32(&n.NzaRau),    // :b16
      rt::Int32(&n.NzaVar),    // :b17
      rt::Int32(&n.Nza00A),    // :b18
      rt::Int32(&n.Nza00U),    // :b19
      rt::Int32(&n.Nza00S),    // :b20
      rt::Text(n.NzaEmo),      // :b21
      rt::Int32(&n.NzaWtg),    // :b22
      rt::Int32(&n.NzaJtg),    // :b23
      rt::Text(n.NzaTtp),      // :b24
      rt::Text(n.NzaJwo),      // :b25
      rt::Int32(&n.NzaWoc),    // :b26
      rt::Int32(&n.NzaPzm),    // :b27
      rt::Int32(&n.NzaMaz),    // :b28
      rt::Float64(&n.NzaNzr),  // :b29
      rt::Float64(&n.NzaBzr),  // :b30
      rt::Float64(&n.NzaUzr),  // :b31
      rt::Float64(&n.NzaPzr),  // :b32
      rt::Float64(&n.NzaRbz),  // :b33
      rt::Float64(&n.NzaNza),  // :b34
      rt::Float64(&n.NzaBzA),  // :b35
      rt::Float64(&n.NzaUza),  // :b36
      rt::Float64(&n.NzaPza),  // :b37
      rt::Float64(&n.NzaAbz),  // :b38
      rt::Float64(&n.NzaNzu),  // :b39
      rt::Float64(&n.NzaBzu),  // :b40
      rt::Float64(&n.NzaPzu),  // :b41
      rt::Float64(&n.NzaUbz),  // :b42
      rt::Float64(&n.NzaSol),  // :b43
      rt::Float64(&n.NzaIst),  // :b44
      rt::Float64(&n.NzaPau),  // :b45
      rt::Float64(&n.NzaRf1),  // :b46
      rt::Float64(&n.NzaRf2),  // :b47
      rt::Float64(&n.NzaRf3),  // :b48
      rt::Int32(&n.NzaFnr),    // :b49
      rt::Text(n.NzaErf),      // :b50
      rt::Float64(&n.NzaGum),  // :b51
      rt::Float64(&n.NzaAum),  // :b52
      rt::Text(n.NzaTnr),      // :b53
  };
  static_assert(sizeof in / sizeof in[0] == 54);
  return rt::GuardedWrite(kNzaPKeyIns, in);
}

// ---------------------------------------------------------------------------
// Recalculation markers.

int Mrk_MrkKng_Open(const char* kng) {
  Columns& c = Col();
  CopyText(c.mrk.MrkKng, Arg(kng));
  const rt::HostVar in[] = {rt::Text(c.mrk.MrkKng)};
  return rt::Open(MrkMrkKngCursor(), kMrkMrkKng, in);
}

int Mrk_MrkKng_Read(Kvn563Mrk* rec) {
  Kvn563Mrk& m = Col().mrk;
  Outputs o;
  o.Text(m.MrkKng).Text(m.MrkApl).Text(m.MrkApk).Text(m.MrkApp).Text(m.MrkPnr).Int32(&m.MrkBnr)
      .Text(m.MrkMdt).Text(m.MrkObj).Text(m.MrkEsb);
  const int status = rt::Fetch(MrkMrkKngCursor(), o.Span());
  if (status != rt::kOk) return status;
  CopyField(rec->MrkKng, m.MrkKng);
  CopyField(rec->MrkApl, m.MrkApl);
  CopyField(rec->MrkApk, m.MrkApk);
  CopyField(rec->MrkApp, m.MrkApp);
  CopyField(rec->MrkPnr, m.MrkPnr);
  rec->MrkBnr = m.MrkBnr;
  CopyField(rec->MrkObj, m.MrkObj);
  CopyField(rec->MrkMdt, m.MrkMdt);
  CopyField(rec->MrkEsb, m.MrkEsb);
  return status;
}

int Mrk_MrkKng_Close() { return rt::Close(MrkMrkKngCursor()); }

int Mrk_PKeyDel(const Kvn563Mrk* rec) {
  Kvn563Mrk& m = Col().mrk;
  CopyField(m.MrkKng, rec->MrkKng);
  CopyField(m.MrkApl, rec->MrkApl);
  CopyField(m.MrkApk, rec->MrkApk);
  CopyField(m.MrkApp, rec->MrkApp);
  CopyField(m.MrkPnr, rec->MrkPnr);
  m.MrkBnr = rec->MrkBnr;
  const rt::HostVar in[] = {rt::Text(m.MrkKng), rt::Text(m.MrkApl), rt::Text(m.MrkApk),
                            rt::Text(m.MrkApp), rt::Text(m.MrkPnr), rt::Int32(&m.MrkBnr)};
  return rt::GuardedWrite(kMrkPKeyDel, in);
}

int Mrk_Del_AplLzm(const char* apl, const char* day) {
  Columns& c = Col();
  CopyText(c.mrk.MrkKng, "LZM");
  CopyText(c.mrk.MrkApl, Arg(apl));
  CopyText(c.fromDay, Arg(day));
  const rt::HostVar in[] = {rt::Text(c.mrk.MrkKng), rt::Text(c.mrk.MrkApl), rt::Text(c.fromDay)};
  return rt::GuardedWrite(kMrkDelAplLzm, in);
}

const std::vector<const rt::Statement*>& DbMelStatements() {
  static const std::vector<const rt::Statement*> all = {
      &kMelApl,          &kMelAplDesc,      &kMapApl,       &kNzaDelSA12.stmt,
      &kNzaPKeyIns.stmt, &kMrkMrkKng,       &kMrkPKeyDel.stmt, &kMrkDelAplLzm.stmt};
  return all;
}

}  // namespace db

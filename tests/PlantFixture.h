// A small plant on a real SQLite file: works calendar, day types, shift
// models with breaks, assignments, workplaces, booking messages and message
// buffer rows; the runtime connected to it and the clock fixed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/DbFixture.h"
#include "util/Env.h"

namespace testdb {

// 'YYYY-MM-DD' of a yyyymmdd text.
inline std::string Iso(const std::string& d) {
  return d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2);
}
// 'YYYY-MM-DD HH:MM:SS' of a yyyymmddHHMMSS text.
inline std::string IsoTs(const std::string& t) {
  return Iso(t) + " " + t.substr(8, 2) + ":" + t.substr(10, 2) + ":" + t.substr(12, 2);
}

// The platform layer with a clock that stands still; files as on POSIX.
class FixedClockEnv : public pelvaro::Env {
 public:
  explicit FixedClockEnv(const std::string& ts14) { Set(ts14); }
  void Set(const std::string& ts) {
    now_ = {std::stoi(ts.substr(0, 4)), std::stoi(ts.substr(4, 2)), std::stoi(ts.substr(6, 2)),
            std::stoi(ts.substr(8, 2)),  std::stoi(ts.substr(10, 2)), std::stoi(ts.substr(12, 2))};
  }
  pelvaro::FileStatus OpenExclusive(const std::string& p,
                                    std::unique_ptr<pelvaro::WritableFile>* f) override {
    return Default()->OpenExclusive(p, f);
  }
  pelvaro::FileStatus DeleteFile(const std::string& p) override { return Default()->DeleteFile(p); }
  pelvaro::FileStatus MoveFile(const std::string& a, const std::string& b) override {
    return Default()->MoveFile(a, b);
  }
  void SleepMs(int) override {}
  pelvaro::LocalTime Now() override { return now_; }

 private:
  pelvaro::LocalTime now_;
};

struct NzaRow {
  std::string dtm, edt, pnr, emo, erf, ttp;
  double bza, nza, uza, pza, pzu, ist, sol, pau;
  int wtg, woc, jtg;
};

class Plant : public SqliteFile {
 public:
  // Works calendar and calendar "K1" for every day from..to, one day type.
  void Calendar(const std::string& from, const std::string& to, const std::string& dayType = "WT") {
    Exec("WITH RECURSIVE d(x) AS (SELECT date('" + Iso(from) +
         "') UNION ALL SELECT date(x,'+1 day') FROM d WHERE x < '" + Iso(to) +
         "') INSERT OR REPLACE INTO Kvn133Bak SELECT x, strftime('%Y',x), strftime('%m',x), "
         "strftime('%d',x), strftime('%W',x), strftime('%w',x), strftime('%j',x) FROM d;"
         "WITH RECURSIVE d(x) AS (SELECT date('" +
         Iso(from) + "') UNION ALL SELECT date(x,'+1 day') FROM d WHERE x < '" + Iso(to) +
         "') INSERT OR REPLACE INTO Kvn133Kal SELECT 'K1', x, '" + dayType + "' FROM d;");
  }
  void Shift(const std::string& model, const std::string& txt, int beg, int end, int art = 0,
             const std::string& breakModel = "P1", const std::string& dayType = "WT") {
    Exec("INSERT INTO Kvn533Emo (EmoEmo,EmoTtp,EmoTxt,EmoBeg,EmoEnd,EmoArt,EmoPmo) VALUES ('" +
         model + "','" + dayType + "','" + txt + "'," + std::to_string(beg) + "," +
         std::to_string(end) + "," + std::to_string(art) + ",'" + breakModel + "')");
  }
  void Break(const std::string& breakModel, const std::string& num, int beg, int end) {
    Exec("INSERT INTO Kvn535Pms (PmsNum,PmsBeg,PmsEnd,PmsInt,PmsPse,PmsBzt,PmsPrz) VALUES ('" + num +
         "'," + std::to_string(beg) + "," + std::to_string(end) + ",0,0,0,0);"
         "INSERT INTO Kvn536Pmz (PmzPmo,PmzPms,PmzGvo,PmzGbi) VALUES ('" +
         breakModel + "','" + num + "','2000-01-01','2099-12-31')");
  }
  void Assign(const std::string& apg, int kng, const std::string& model,
              const std::string& from = "2000-01-01") {
    Exec("INSERT INTO Kvn532Aem (AemApg,AemKng,AemEmo,AemGvo,AemGbi,AemKal,AemBez) VALUES ('" + apg +
         "'," + std::to_string(kng) + ",'" + model + "','" + from + "',NULL,'K1','assignment')");
  }
  void Workplace(const std::string& apl, const std::string& apg) {
    Exec("INSERT INTO Kvn531Apl (AplApl,AplApg,AplBez) VALUES ('" + apl + "','" + apg + "','wp')");
  }
  // A booking message at yyyymmddHHMMSS.
  void Message(const std::string& apl, const std::string& ts, const std::string& code,
               const std::string& sek = "00", const std::string& obj = "M_A",
               const std::string& apk = "A1") {
    Exec("INSERT INTO Kvn560Mel (KeyApl,KeyApk,KeyApp,ObjTyp,KeyDat,KeyUhr,KeySek,MelMsk) VALUES ('" +
         apl + "','" + apk + "','10','" + obj + "','" + Iso(ts) + "','" + IsoTs(ts) + "','" + sek +
         "','" + code + "')");
  }
  void Buffer(const std::string& apl, const std::string& apk, const std::string& obj,
              const std::string& interrupted) {
    Exec("INSERT INTO Kvn565Map (MapObj,MapApl,MapApk,MapApp,Map00U) VALUES ('" + obj + "','" + apl +
         "','" + apk + "','10','" + interrupted + "')");
  }

  std::vector<NzaRow> Results(const std::string& apl) {
    std::vector<NzaRow> out;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(raw(),
                       "SELECT strftime('%Y%m%d%H%M%S',NzaDtm), strftime('%Y%m%d%H%M%S',NzaEdt), "
                       "NzaPnr, NzaEmo, NzaErf, NzaTtp, NzaBzA, NzaNza, NzaUza, NzaPza, NzaPzu, "
                       "NzaIst, NzaSol, NzaPau, NzaWtg, NzaWoc, NzaJtg FROM Kvn590Nza "
                       "WHERE NzaApl=? ORDER BY NzaDtm, NzaEdt",
                       -1, &st, nullptr);
    sqlite3_bind_text(st, 1, apl.c_str(), -1, SQLITE_TRANSIENT);
    auto text = [&](int c) {
      const unsigned char* t = sqlite3_column_text(st, c);
      return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
    };
    while (sqlite3_step(st) == SQLITE_ROW) {
      NzaRow r;
      r.dtm = text(0);
      r.edt = text(1);
      r.pnr = text(2);
      r.emo = text(3);
      r.erf = text(4);
      r.ttp = text(5);
      r.bza = sqlite3_column_double(st, 6);
      r.nza = sqlite3_column_double(st, 7);
      r.uza = sqlite3_column_double(st, 8);
      r.pza = sqlite3_column_double(st, 9);
      r.pzu = sqlite3_column_double(st, 10);
      r.ist = sqlite3_column_double(st, 11);
      r.sol = sqlite3_column_double(st, 12);
      r.pau = sqlite3_column_double(st, 13);
      r.wtg = sqlite3_column_int(st, 14);
      r.woc = sqlite3_column_int(st, 15);
      r.jtg = sqlite3_column_int(st, 16);
      out.push_back(r);
    }
    sqlite3_finalize(st);
    return out;
  }
};

// Installs an Env for the lifetime of the guard.
class EnvGuard {
 public:
  explicit EnvGuard(pelvaro::Env* env) { pelvaro::SetEnv(env); }
  ~EnvGuard() { pelvaro::SetEnv(nullptr); }
};

}  // namespace testdb

// A small plant on a real database of either backend: works calendar, day
// types, shift models with breaks, assignments, workplaces, booking messages
// and message buffer rows; the runtime connected to it and the clock fixed.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
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

class Plant : public Db {
 public:
  explicit Plant(Backend backend = Backend::kSqlite) : Db(backend) {}

  // Works calendar and calendar "K1" for every day from..to, one day type.
  void Calendar(const std::string& from, const std::string& to, const std::string& dayType = "WT") {
    using namespace std::chrono;
    auto ymd = [](const std::string& d) {
      return year_month_day{year{std::stoi(d.substr(0, 4))}, month{unsigned(std::stoi(d.substr(4, 2)))},
                            day{unsigned(std::stoi(d.substr(6, 2)))}};
    };
    std::string bak, kal;
    for (sys_days d = ymd(from); d <= sys_days{ymd(to)}; d += days{1}) {
      const year_month_day x{d};
      const int yday = (d - sys_days{x.year() / January / 1}).count();
      const int wday = static_cast<int>(weekday{d}.c_encoding());  // 0 Sunday
      const int week = (yday + 7 - (wday + 6) % 7) / 7;               // weeks begin on Monday
      char iso[32];
      std::snprintf(iso, sizeof iso, "%04d-%02u-%02u", int(x.year()), unsigned(x.month()),
                    unsigned(x.day()));
      bak += std::string(bak.empty() ? "" : ",") + "('" + iso + "'," + std::to_string(int(x.year())) +
             "," + std::to_string(unsigned(x.month())) + "," + std::to_string(unsigned(x.day())) +
             "," + std::to_string(week) + "," + std::to_string(wday) + "," +
             std::to_string(yday + 1) + ")";
      kal += std::string(kal.empty() ? "" : ",") + "('K1','" + iso + "','" + dayType + "')";
    }
    if (bak.empty()) return;
    Exec("INSERT INTO Kvn133Bak VALUES " + bak +
         " ON CONFLICT (BakDtm) DO UPDATE SET BakJhr=excluded.BakJhr, BakMon=excluded.BakMon, "
         "BakTag=excluded.BakTag, BakWch=excluded.BakWch, BakWtg=excluded.BakWtg, "
         "BakJtg=excluded.BakJtg;"
         "INSERT INTO Kvn133Kal VALUES " + kal +
         " ON CONFLICT (KalNum, KalDtm) DO UPDATE SET KalBtp=excluded.KalBtp");
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
    for (const std::string& line :
         Rows("SELECT " + Ts14("NzaDtm") + ", " + Ts14("NzaEdt") +
              ", NzaPnr, NzaEmo, NzaErf, NzaTtp, NzaBzA, NzaNza, NzaUza, NzaPza, NzaPzu, "
              "NzaIst, NzaSol, NzaPau, NzaWtg, NzaWoc, NzaJtg FROM Kvn590Nza "
              "WHERE NzaApl='" + apl + "' ORDER BY NzaDtm, NzaEdt",
              /*exact=*/true)) {
      std::vector<std::string> f;
      for (std::size_t pos = 0;;) {
        std::size_t bar = line.find('|', pos);
        f.push_back(line.substr(pos, bar == std::string::npos ? bar : bar - pos));
        if (bar == std::string::npos) break;
        pos = bar + 1;
      }
      if (f.size() != 17) {
        ADD_FAILURE() << "result row " << line;
        continue;
      }
      auto real = [](const std::string& t) { return t.empty() ? 0.0 : std::stod(t); };
      auto integer = [](const std::string& t) { return t.empty() ? 0 : std::stoi(t); };
      NzaRow r;
      r.dtm = f[0];
      r.edt = f[1];
      r.pnr = f[2];
      r.emo = f[3];
      r.erf = f[4];
      r.ttp = f[5];
      r.bza = real(f[6]);
      r.nza = real(f[7]);
      r.uza = real(f[8]);
      r.pza = real(f[9]);
      r.pzu = real(f[10]);
      r.ist = real(f[11]);
      r.sol = real(f[12]);
      r.pau = real(f[13]);
      r.wtg = integer(f[14]);
      r.woc = integer(f[15]);
      r.jtg = integer(f[16]);
      out.push_back(r);
    }
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

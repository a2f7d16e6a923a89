-- Tables of the evaluation, SQLite form.
-- Dates and times are TEXT in SQLite's form 'YYYY-MM-DD HH:MM:SS' (a bare
-- 'YYYY-MM-DD' reads as midnight); columns that hold a time of day carry any
-- date part. Numbers are INTEGER or REAL, texts TEXT; only primary-key columns
-- are NOT NULL. The two calendar tables of the schema KvSystem live in the same
-- file. Nothing here depends on a function of the program.

CREATE TABLE Kvn531Apl (
  AplApl TEXT NOT NULL PRIMARY KEY,
  AplBez TEXT, AplTxt TEXT, AplApg TEXT, AplFbe TEXT,
  AplSts INTEGER, AplSis INTEGER, AplApr INTEGER, AplAaf INTEGER,
  AplUbg TEXT, AplUdt TEXT, AplTag INTEGER,
  AplVrf REAL, AplRsp REAL, AplRsi REAL, AplAfp REAL, AplAfi REAL, AplPau REAL, AplUnt REAL,
  AplIak REAL, AplAvt INTEGER, AplKap REAL, AplAvr REAL, AplAvp REAL,
  AplSt1 TEXT, AplSt2 TEXT, AplSt3 TEXT, AplSf1 REAL, AplSf2 REAL, AplSf3 REAL,
  AplZf1 TEXT, AplZf2 TEXT, AplZf3 TEXT, AplDna TEXT, AplDwn TEXT, AplSta INTEGER,
  AplDat TEXT, AplErf TEXT
);
CREATE INDEX Kvn531Apl_Apg ON Kvn531Apl (AplApg, AplApl);

CREATE TABLE Kvn133Bak (
  BakDtm TEXT NOT NULL PRIMARY KEY,
  BakJhr INTEGER, BakMon INTEGER, BakTag INTEGER, BakWch INTEGER, BakWtg INTEGER, BakJtg INTEGER
);

CREATE TABLE Kvn133Kal (
  KalNum TEXT NOT NULL,
  KalDtm TEXT NOT NULL,
  KalBtp TEXT,
  PRIMARY KEY (KalNum, KalDtm)
);

CREATE TABLE Kvn532Aem (
  AemApg TEXT NOT NULL, AemKng INTEGER NOT NULL, AemEmo TEXT NOT NULL, AemGvo TEXT NOT NULL,
  AemGbi TEXT, AemBez TEXT, AemTxt TEXT, AemKal TEXT,
  AemLkz INTEGER, AemVzt INTEGER, AemEzt INTEGER, AemPrz INTEGER, AemAfz INTEGER,
  AemApz INTEGER, AemPrp INTEGER, AemAfp INTEGER, AemApp INTEGER, AemMaz INTEGER,
  PRIMARY KEY (AemApg, AemKng, AemEmo, AemGvo)
);

CREATE TABLE Kvn533Emo (
  EmoEmo TEXT NOT NULL, EmoTtp TEXT NOT NULL, EmoBeg INTEGER NOT NULL,
  EmoTxt TEXT, EmoEnd INTEGER, EmoArt INTEGER, EmoPmo TEXT,
  PRIMARY KEY (EmoEmo, EmoTtp, EmoBeg)
);

CREATE TABLE Kvn536Pmz (
  PmzPmo TEXT NOT NULL, PmzPms TEXT NOT NULL, PmzGvo TEXT NOT NULL, PmzGbi TEXT,
  PRIMARY KEY (PmzPmo, PmzPms, PmzGvo)
);

CREATE TABLE Kvn535Pms (
  PmsNum TEXT NOT NULL PRIMARY KEY,
  PmsBeg INTEGER, PmsEnd INTEGER, PmsInt INTEGER, PmsPse INTEGER, PmsBzt INTEGER, PmsPrz INTEGER
);

CREATE TABLE Kvn560Mel (
  KeyBnr INTEGER, KeyLfn INTEGER, ObjTyp TEXT, KeyPnr TEXT, KeyApl TEXT, KeyApk TEXT, KeyApp TEXT,
  Sts00E TEXT, Sts00R TEXT, Sts00A TEXT, Sts00U TEXT, Sts00S TEXT, Sts006 TEXT, Sts007 TEXT,
  Sts008 TEXT, Sts009 TEXT, Sts010 TEXT, Sts011 TEXT, Sts012 TEXT, Sts013 TEXT, Sts014 TEXT,
  Sts015 TEXT, Sts016 TEXT,
  KeyDat TEXT, KeyUhr TEXT, KeySek TEXT, KeyUbg TEXT, KeyAug TEXT,
  MelMsk TEXT, MelAwn TEXT, MelFcd TEXT, MelTrm TEXT, MelOff TEXT, MelFnr INTEGER,
  MelGum REAL, MelFam REAL, MelMam REAL, MelNam REAL, MelZt1 REAL, MelZt2 REAL, MelZt3 REAL,
  MelMee TEXT, MelAec TEXT, MelTrc TEXT, MelErf TEXT, MelKsb TEXT, MelKdt TEXT, MelKfc TEXT,
  MelKgm REAL, MelKfm REAL, MelKmm REAL, MelKnm REAL, KeyTnr TEXT, MelDat TEXT
);
-- The message windows: one workplace, a range of days on both ends.
CREATE INDEX Kvn560Mel_Window ON Kvn560Mel (KeyApl, KeyDat, KeyUhr, KeySek);

CREATE TABLE Kvn565Map (
  MapBnr INTEGER, MapObj TEXT NOT NULL, MapPnr TEXT, MapApl TEXT NOT NULL, MapApk TEXT NOT NULL,
  MapApp TEXT NOT NULL,
  Map00E TEXT, Map00R TEXT, Map00A TEXT, Map00U TEXT, Map00S TEXT, Map006 TEXT, Map007 TEXT,
  Map008 TEXT, Map009 TEXT, Map010 TEXT, Map011 TEXT, Map012 TEXT, Map013 TEXT, Map014 TEXT,
  Map015 TEXT, Map016 TEXT,
  MapMdt TEXT, MapMzt TEXT, MapDat TEXT, MapErf TEXT, MapSts TEXT, MapUbg TEXT, MapTnr TEXT,
  PRIMARY KEY (MapObj, MapApl, MapApk, MapApp)
);
CREATE INDEX Kvn565Map_Apl ON Kvn565Map (MapApl);

CREATE TABLE Kvn590Nza (
  NzaSa INTEGER NOT NULL, NzaApl TEXT NOT NULL, NzaApk TEXT NOT NULL, NzaApp TEXT NOT NULL,
  NzaPnr TEXT NOT NULL, NzaDtm TEXT NOT NULL,
  NzaBeg INTEGER, NzaBbn INTEGER, NzaBln INTEGER, NzaBmk TEXT, NzaEdt TEXT,
  NzaEnd INTEGER, NzaEbn INTEGER, NzaEln INTEGER, NzaEmk TEXT, NzaUbg TEXT,
  NzaRau INTEGER, NzaVar INTEGER, Nza00A INTEGER, Nza00U INTEGER, Nza00S INTEGER,
  NzaEmo TEXT, NzaWtg INTEGER, NzaJtg INTEGER, NzaTtp TEXT, NzaJwo TEXT,
  NzaWoc INTEGER, NzaPzm INTEGER, NzaMaz INTEGER,
  NzaNzr REAL, NzaBzr REAL, NzaUzr REAL, NzaPzr REAL, NzaRbz REAL,
  NzaNza REAL, NzaBzA REAL, NzaUza REAL, NzaPza REAL, NzaAbz REAL,
  NzaNzu REAL, NzaBzu REAL, NzaPzu REAL, NzaUbz REAL, NzaSol REAL, NzaIst REAL, NzaPau REAL,
  NzaRf1 REAL, NzaRf2 REAL, NzaRf3 REAL, NzaFnr INTEGER, NzaDat TEXT, NzaErf TEXT,
  NzaGum REAL, NzaAum REAL, NzaTnr TEXT,
  PRIMARY KEY (NzaSa, NzaApl, NzaApk, NzaApp, NzaPnr, NzaDtm)
);
-- The deletion of a workplace's span.
CREATE INDEX Kvn590Nza_Span ON Kvn590Nza (NzaApl, NzaSa, NzaDtm);

CREATE TABLE Kvn563Mrk (
  MrkKng TEXT NOT NULL, MrkApl TEXT NOT NULL, MrkApk TEXT NOT NULL, MrkApp TEXT NOT NULL,
  MrkPnr TEXT NOT NULL, MrkBnr INTEGER NOT NULL, MrkMdt TEXT NOT NULL,
  MrkObj TEXT, MrkDat TEXT, MrkEsb TEXT,
  PRIMARY KEY (MrkKng, MrkApl, MrkApk, MrkApp, MrkPnr, MrkBnr, MrkMdt)
);

CREATE TABLE Kvn591Nzp (
  NzpAkz INTEGER NOT NULL, NzpGvn TEXT NOT NULL, NzpGbi TEXT,
  NzpAak INTEGER, NzpAwt INTEGER, NzpKjh INTEGER, NzpKmn INTEGER, NzpKwo INTEGER, NzpKtg INTEGER,
  NzpAan INTEGER, NzpVfh INTEGER, NzpNfh INTEGER, NzpMrk INTEGER, NzpAdt TEXT, NzpAus TEXT,
  PRIMARY KEY (NzpAkz, NzpGvn)
);

-- Tables of the evaluation, PostgreSQL form.
-- Dates and times are timestamp(0); columns that hold a time of day carry any
-- date part. Numbers are bigint or double precision, texts text with binary
-- ("C") collation, so that comparisons and ORDER BY follow the byte order as
-- on SQLite; only primary-key columns are NOT NULL. The two calendar tables
-- live in the schema KvSystem, every other table in the first schema of the
-- search path. Nothing here depends on a function of the program.

CREATE SCHEMA IF NOT EXISTS KvSystem;

CREATE TABLE Kvn531Apl (
  AplApl text COLLATE "C" NOT NULL PRIMARY KEY,
  AplBez text COLLATE "C", AplTxt text COLLATE "C", AplApg text COLLATE "C", AplFbe text COLLATE "C",
  AplSts bigint, AplSis bigint, AplApr bigint, AplAaf bigint,
  AplUbg text COLLATE "C", AplUdt timestamp(0), AplTag bigint,
  AplVrf double precision, AplRsp double precision, AplRsi double precision, AplAfp double precision, AplAfi double precision, AplPau double precision, AplUnt double precision,
  AplIak double precision, AplAvt bigint, AplKap double precision, AplAvr double precision, AplAvp double precision,
  AplSt1 text COLLATE "C", AplSt2 text COLLATE "C", AplSt3 text COLLATE "C", AplSf1 double precision, AplSf2 double precision, AplSf3 double precision,
  AplZf1 text COLLATE "C", AplZf2 text COLLATE "C", AplZf3 text COLLATE "C", AplDna text COLLATE "C", AplDwn text COLLATE "C", AplSta bigint,
  AplDat timestamp(0), AplErf text COLLATE "C"
);
CREATE INDEX Kvn531Apl_Apg ON Kvn531Apl (AplApg, AplApl);

CREATE TABLE KvSystem.Kvn133Bak (
  BakDtm timestamp(0) NOT NULL PRIMARY KEY,
  BakJhr bigint, BakMon bigint, BakTag bigint, BakWch bigint, BakWtg bigint, BakJtg bigint
);

CREATE TABLE KvSystem.Kvn133Kal (
  KalNum text COLLATE "C" NOT NULL,
  KalDtm timestamp(0) NOT NULL,
  KalBtp text COLLATE "C",
  PRIMARY KEY (KalNum, KalDtm)
);

CREATE TABLE Kvn532Aem (
  AemApg text COLLATE "C" NOT NULL, AemKng bigint NOT NULL, AemEmo text COLLATE "C" NOT NULL, AemGvo timestamp(0) NOT NULL,
  AemGbi timestamp(0), AemBez text COLLATE "C", AemTxt text COLLATE "C", AemKal text COLLATE "C",
  AemLkz bigint, AemVzt bigint, AemEzt bigint, AemPrz bigint, AemAfz bigint,
  AemApz bigint, AemPrp bigint, AemAfp bigint, AemApp bigint, AemMaz bigint,
  PRIMARY KEY (AemApg, AemKng, AemEmo, AemGvo)
);

CREATE TABLE Kvn533Emo (
  EmoEmo text COLLATE "C" NOT NULL, EmoTtp text COLLATE "C" NOT NULL, EmoBeg bigint NOT NULL,
  EmoTxt text COLLATE "C", EmoEnd bigint, EmoArt bigint, EmoPmo text COLLATE "C",
  PRIMARY KEY (EmoEmo, EmoTtp, EmoBeg)
);

CREATE TABLE Kvn536Pmz (
  PmzPmo text COLLATE "C" NOT NULL, PmzPms text COLLATE "C" NOT NULL, PmzGvo timestamp(0) NOT NULL, PmzGbi timestamp(0),
  PRIMARY KEY (PmzPmo, PmzPms, PmzGvo)
);

CREATE TABLE Kvn535Pms (
  PmsNum text COLLATE "C" NOT NULL PRIMARY KEY,
  PmsBeg bigint, PmsEnd bigint, PmsInt bigint, PmsPse bigint, PmsBzt bigint, PmsPrz bigint
);

CREATE TABLE Kvn560Mel (
  KeyBnr bigint, KeyLfn bigint, ObjTyp text COLLATE "C", KeyPnr text COLLATE "C", KeyApl text COLLATE "C", KeyApk text COLLATE "C", KeyApp text COLLATE "C",
  Sts00E text COLLATE "C", Sts00R text COLLATE "C", Sts00A text COLLATE "C", Sts00U text COLLATE "C", Sts00S text COLLATE "C", Sts006 text COLLATE "C", Sts007 text COLLATE "C",
  Sts008 text COLLATE "C", Sts009 text COLLATE "C", Sts010 text COLLATE "C", Sts011 text COLLATE "C", Sts012 text COLLATE "C", Sts013 text COLLATE "C", Sts014 text COLLATE "C",
  Sts015 text COLLATE "C", Sts016 text COLLATE "C",
  KeyDat timestamp(0), KeyUhr timestamp(0), KeySek text COLLATE "C", KeyUbg text COLLATE "C", KeyAug text COLLATE "C",
  MelMsk text COLLATE "C", MelAwn text COLLATE "C", MelFcd text COLLATE "C", MelTrm text COLLATE "C", MelOff text COLLATE "C", MelFnr bigint,
  MelGum double precision, MelFam double precision, MelMam double precision, MelNam double precision, MelZt1 double precision, MelZt2 double precision, MelZt3 double precision,
  MelMee text COLLATE "C", MelAec text COLLATE "C", MelTrc text COLLATE "C", MelErf text COLLATE "C", MelKsb text COLLATE "C", MelKdt timestamp(0), MelKfc text COLLATE "C",
  MelKgm double precision, MelKfm double precision, MelKmm double precision, MelKnm double precision, KeyTnr text COLLATE "C", MelDat timestamp(0)
);
-- The message windows: one workplace, a range of days on both ends.
CREATE INDEX Kvn560Mel_Window ON Kvn560Mel (KeyApl, KeyDat, KeyUhr, KeySek);

CREATE TABLE Kvn565Map (
  MapBnr bigint, MapObj text COLLATE "C" NOT NULL, MapPnr text COLLATE "C", MapApl text COLLATE "C" NOT NULL, MapApk text COLLATE "C" NOT NULL,
  MapApp text COLLATE "C" NOT NULL,
  Map00E text COLLATE "C", Map00R text COLLATE "C", Map00A text COLLATE "C", Map00U text COLLATE "C", Map00S text COLLATE "C", Map006 text COLLATE "C", Map007 text COLLATE "C",
  Map008 text COLLATE "C", Map009 text COLLATE "C", Map010 text COLLATE "C", Map011 text COLLATE "C", Map012 text COLLATE "C", Map013 text COLLATE "C", Map014 text COLLATE "C",
  Map015 text COLLATE "C", Map016 text COLLATE "C",
  MapMdt timestamp(0), MapMzt timestamp(0), MapDat timestamp(0), MapErf text COLLATE "C", MapSts text COLLATE "C", MapUbg text COLLATE "C", MapTnr text COLLATE "C",
  PRIMARY KEY (MapObj, MapApl, MapApk, MapApp)
);
CREATE INDEX Kvn565Map_Apl ON Kvn565Map (MapApl);

CREATE TABLE Kvn590Nza (
  NzaSa bigint NOT NULL, NzaApl text COLLATE "C" NOT NULL, NzaApk text COLLATE "C" NOT NULL, NzaApp text COLLATE "C" NOT NULL,
  NzaPnr text COLLATE "C" NOT NULL, NzaDtm timestamp(0) NOT NULL,
  NzaBeg bigint, NzaBbn bigint, NzaBln bigint, NzaBmk text COLLATE "C", NzaEdt timestamp(0),
  NzaEnd bigint, NzaEbn bigint, NzaEln bigint, NzaEmk text COLLATE "C", NzaUbg text COLLATE "C",
  NzaRau bigint, NzaVar bigint, Nza00A bigint, Nza00U bigint, Nza00S bigint,
  NzaEmo text COLLATE "C", NzaWtg bigint, NzaJtg bigint, NzaTtp text COLLATE "C", NzaJwo text COLLATE "C",
  NzaWoc bigint, NzaPzm bigint, NzaMaz bigint,
  NzaNzr double precision, NzaBzr double precision, NzaUzr double precision, NzaPzr double precision, NzaRbz double precision,
  NzaNza double precision, NzaBzA double precision, NzaUza double precision, NzaPza double precision, NzaAbz double precision,
  NzaNzu double precision, NzaBzu double precision, NzaPzu double precision, NzaUbz double precision, NzaSol double precision, NzaIst double precision, NzaPau double precision,
  NzaRf1 double precision, NzaRf2 double precision, NzaRf3 double precision, NzaFnr bigint, NzaDat timestamp(0), NzaErf text COLLATE "C",
  NzaGum double precision, NzaAum double precision, NzaTnr text COLLATE "C",
  PRIMARY KEY (NzaSa, NzaApl, NzaApk, NzaApp, NzaPnr, NzaDtm)
);
-- The deletion of a workplace's span.
CREATE INDEX Kvn590Nza_Span ON Kvn590Nza (NzaApl, NzaSa, NzaDtm);

CREATE TABLE Kvn563Mrk (
  MrkKng text COLLATE "C" NOT NULL, MrkApl text COLLATE "C" NOT NULL, MrkApk text COLLATE "C" NOT NULL, MrkApp text COLLATE "C" NOT NULL,
  MrkPnr text COLLATE "C" NOT NULL, MrkBnr bigint NOT NULL, MrkMdt timestamp(0) NOT NULL,
  MrkObj text COLLATE "C", MrkDat timestamp(0), MrkEsb text COLLATE "C",
  PRIMARY KEY (MrkKng, MrkApl, MrkApk, MrkApp, MrkPnr, MrkBnr, MrkMdt)
);

CREATE TABLE Kvn591Nzp (
  NzpAkz bigint NOT NULL, NzpGvn timestamp(0) NOT NULL, NzpGbi timestamp(0),
  NzpAak bigint, NzpAwt bigint, NzpKjh bigint, NzpKmn bigint, NzpKwo bigint, NzpKtg bigint,
  NzpAan bigint, NzpVfh bigint, NzpNfh bigint, NzpMrk bigint, NzpAdt timestamp(0), NzpAus text COLLATE "C",
  PRIMARY KEY (NzpAkz, NzpGvn)
);

/* Counts the statements a process has its database execute, for bench/run.
 * Loaded with LD_PRELOAD, it counts every execution of a prepared SQLite
 * statement (its first step after a prepare or a reset), every sqlite3_exec,
 * and every libpq call that sends a statement (PQexec, PQexecParams,
 * PQexecPrepared). Fetching the rows of an execution is not counted. At exit
 * it writes one line "count<TAB>statement" per distinct statement to the file
 * named by BENCH_STATEMENTS; a libpq statement prepared by name is written as
 * the text it was prepared from. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_KINDS 1024

struct Kind {
  char *text;
  const void *key; /* the prepared statement, or NULL */
  long count;
};

static struct Kind kinds[MAX_KINDS];
static int nkinds;
static int inExec; /* sqlite3_exec counts itself, not the steps it makes */

static void CountText(const char *prefix, const char *text) {
  const size_t n = strlen(prefix);
  if (!text) text = "?";
  for (int i = 0; i < nkinds; ++i) {
    if (kinds[i].key == NULL && strncmp(kinds[i].text, prefix, n) == 0 &&
        strcmp(kinds[i].text + n, text) == 0) {
      ++kinds[i].count;
      return;
    }
  }
  if (nkinds == MAX_KINDS) return;
  const size_t size = n + strlen(text) + 1;
  kinds[nkinds].text = malloc(size);
  if (!kinds[nkinds].text) return;
  snprintf(kinds[nkinds].text, size, "%s%s", prefix, text);
  kinds[nkinds].key = NULL;
  kinds[nkinds].count = 1;
  ++nkinds;
}

/* A prepared statement by its address; its text is kept at first sight, as
 * the statement may be finalised before the process ends. A statement
 * prepared anew at a freed address is told apart by its text. */
static void CountStatement(sqlite3_stmt *stmt) {
  const char *text = sqlite3_sql(stmt);
  if (!text) text = "?";
  for (int i = nkinds - 1; i >= 0; --i) {
    if (kinds[i].key == stmt) {
      if (strcmp(kinds[i].text, text) == 0) {
        ++kinds[i].count;
        return;
      }
      kinds[i].key = (const void *)-1; /* that statement is gone */
    }
  }
  for (int i = 0; i < nkinds; ++i) {
    if (kinds[i].key != NULL && strcmp(kinds[i].text, text) == 0) {
      kinds[i].key = stmt;
      ++kinds[i].count;
      return;
    }
  }
  if (nkinds == MAX_KINDS) return;
  kinds[nkinds].text = strdup(text);
  if (!kinds[nkinds].text) return;
  kinds[nkinds].key = stmt;
  kinds[nkinds].count = 1;
  ++nkinds;
}

static void *Next(const char *name) {
  void *f = dlsym(RTLD_NEXT, name);
  if (!f) {
    fprintf(stderr, "stmtcount: no %s\n", name);
    abort();
  }
  return f;
}

int sqlite3_step(sqlite3_stmt *stmt) {
  static int (*real)(sqlite3_stmt *);
  if (!real) real = (int (*)(sqlite3_stmt *))Next("sqlite3_step");
  if (!inExec && stmt && !sqlite3_stmt_busy(stmt)) CountStatement(stmt);
  return real(stmt);
}

int sqlite3_exec(sqlite3 *db, const char *sql, int (*callback)(void *, int, char **, char **),
                 void *arg, char **errmsg) {
  static int (*real)(sqlite3 *, const char *, int (*)(void *, int, char **, char **), void *,
                     char **);
  if (!real)
    real = (int (*)(sqlite3 *, const char *, int (*)(void *, int, char **, char **), void *,
                    char **))Next("sqlite3_exec");
  CountText("", sql);
  ++inExec;
  int rc = real(db, sql, callback, arg, errmsg);
  --inExec;
  return rc;
}

PGresult *PQexec(PGconn *conn, const char *query) {
  static PGresult *(*real)(PGconn *, const char *);
  if (!real) real = (PGresult * (*)(PGconn *, const char *)) Next("PQexec");
  CountText("", query);
  return real(conn, query);
}

PGresult *PQexecParams(PGconn *conn, const char *command, int nParams, const Oid *paramTypes,
                       const char *const *paramValues, const int *paramLengths,
                       const int *paramFormats, int resultFormat) {
  static PGresult *(*real)(PGconn *, const char *, int, const Oid *, const char *const *,
                           const int *, const int *, int);
  if (!real)
    real = (PGresult * (*)(PGconn *, const char *, int, const Oid *, const char *const *,
                           const int *, const int *, int)) Next("PQexecParams");
  CountText("", command);
  return real(conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats,
              resultFormat);
}

PGresult *PQexecPrepared(PGconn *conn, const char *stmtName, int nParams,
                         const char *const *paramValues, const int *paramLengths,
                         const int *paramFormats, int resultFormat) {
  static PGresult *(*real)(PGconn *, const char *, int, const char *const *, const int *,
                           const int *, int);
  if (!real)
    real = (PGresult * (*)(PGconn *, const char *, int, const char *const *, const int *,
                           const int *, int)) Next("PQexecPrepared");
  CountText("prepared ", stmtName);
  return real(conn, stmtName, nParams, paramValues, paramLengths, paramFormats, resultFormat);
}

#define MAX_NAMES 1024
static struct {
  char *name;
  char *query;
} names[MAX_NAMES];
static int nnames;

PGresult *PQprepare(PGconn *conn, const char *stmtName, const char *query, int nParams,
                    const Oid *paramTypes) {
  static PGresult *(*real)(PGconn *, const char *, const char *, int, const Oid *);
  if (!real) real = (PGresult * (*)(PGconn *, const char *, const char *, int, const Oid *))
                        Next("PQprepare");
  if (nnames < MAX_NAMES && stmtName && query) {
    names[nnames].name = strdup(stmtName);
    names[nnames].query = strdup(query);
    if (names[nnames].name && names[nnames].query) ++nnames;
  }
  return real(conn, stmtName, query, nParams, paramTypes);
}

/* The text a counted line stands for: a prepared name becomes its query. */
static const char *Text(const char *text) {
  static const char prefix[] = "prepared ";
  if (strncmp(text, prefix, sizeof prefix - 1) != 0) return text;
  for (int i = nnames - 1; i >= 0; --i)
    if (strcmp(names[i].name, text + sizeof prefix - 1) == 0) return names[i].query;
  return text;
}

__attribute__((destructor)) static void WriteCounts(void) {
  const char *path = getenv("BENCH_STATEMENTS");
  if (!path || !*path) return;
  FILE *out = fopen(path, "w");
  if (!out) return;
  for (int i = 0; i < nkinds; ++i) {
    fprintf(out, "%ld\t", kinds[i].count);
    for (const char *p = Text(kinds[i].text); *p; ++p) fputc(*p == '\n' || *p == '\t' ? ' ' : *p, out);
    fputc('\n', out);
  }
  fclose(out);
}

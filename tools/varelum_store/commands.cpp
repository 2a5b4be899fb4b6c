// The command table of varelum-store: every command with its arguments, options and help.
// A new command is one entry here and its run function in a cmd_*.cpp file of its own.
#include "commands.h"

namespace varelum::store {

const std::vector<CommandSpec>& command_table() {
    static const std::vector<CommandSpec> kCommands = {
        {"create",
         {"TABLE", "FIELDS"},
         {{"--replace", "", "replace a table that exists already (its records are lost)"}},
         "Create an empty table from the engine's field text.",
         "FIELDS is a list of name,type[,length[,decimals]]; pieces, for example\n"
         "\"Name,Char,30;Price,Numeric,10,2;Born,Date;Active,Logical;\". Types: Logical,\n"
         "Numeric, Date, CompactDate, Char, CIChar, Memo, Binary, Image, VarChar, Double,\n"
         "Integer, ShortInt, Time, TimeStamp, AutoInc, Raw, CurDouble, Money, RowVersion,\n"
         "ModTime, VarCharFox, VarBinaryFox, NChar, NVarChar, NMemo.",
         run_create},
        {"info",
         {"TABLE"},
         {},
         "Show a table's fields (type, length, decimals), record count and indexes.",
         "",
         run_info},
        {"index",
         {"TABLE", "TAG", "EXPR"},
         {{"--unique", "", "one record per key (refused where two records share one already)"},
          {"--descending", "", "keep the keys in falling order"},
          {"--for", "COND", "index only the records for which the condition is true"}},
         "Create an index tag in a table file and build its keys.",
         "EXPR is a key expression, such as \"UPPER(Name)\" or \"CodGrupo + DTOS(Born)\", or\n"
         "field names separated by \";\" (\"CodGrupo;CodProduto\"), a key of several parts.\n"
         "COND is a logical expression (\"QtdeAtual > 0\"). Keys are at most 480 bytes.\n"
         "Others may go on using the table meanwhile; every later write keeps the tag in step.",
         run_index},
        {"import",
         {"TABLE", "FILE.csv"},
         {{"--progress", "N", "report progress every N rows (default 10000)"},
          {"--batch", "N", "rows written to disk together (default 4096)"}},
         "Append the rows of a CSV file to a table.",
         "The first row names the fields (in any order and case; fields it does not name stay\n"
         "null). The rows go into the table with their index keys in batches, each synced to\n"
         "disk; a row that does not fit the table stops the import with its line number and\n"
         "the reason, and the rows before it stay in the table.\n\n"
         "Other users see the rows a batch at a time: a killed import keeps its rows up to\n"
         "the last whole batch, and a power cut loses at most that batch, never a row that\n"
         "was in the table before.",
         run_import},
        {"export",
         {"TABLE", "[FILE.csv]"},
         {},
         "Write a table's records as CSV, to FILE.csv or to standard output.",
         "Records marked deleted are left out. The header row names every field.",
         run_export},
        {"pack",
         {"TABLE"},
         {},
         "Remove the records marked deleted (needs the table to itself).",
         "",
         run_pack},
        {"restructure",
         {"TABLE"},
         {{"--add", "FIELDS", "fields to add: name,type[,length[,decimals]];..."},
          {"--delete", "NAMES", "fields to delete: name;name;..."},
          {"--change", "CHANGES",
           "fields to change: name,newname[,type[,length[,decimals]]][,LOSSY];..."}},
         "Add, delete and change fields of a table, keeping its records and indexes.",
         "Needs the table to itself. The new fields follow the others and are empty in every\n"
         "record; an empty newname keeps the name, a missing type, length or decimals keeps\n"
         "the field's own. Values are converted; a change that would lose one (a text longer\n"
         "than the new length, a number out of the new range, a type with no conversion)\n"
         "refuses the whole restructure, naming the field and the first record, unless that\n"
         "change ends in LOSSY (a text then keeps what fits, any other value becomes empty).\n"
         "Index tags are rebuilt; one whose key no longer fits the fields is dropped. The new\n"
         "table is built beside the old one and takes its place at the end, so a refused or\n"
         "interrupted restructure (Ctrl-C) leaves the table as it was. For example\n"
         "  varelum-store restructure CadProdutos --add \"Marca,Char,30\" \\\n"
         "      --change \"Descricao,,Char,80;QtdeAtual,Qtde\" --delete Obs",
         run_restructure},
        {"reindex",
         {"TABLE"},
         {},
         "Build every index tag of a table again from its records (needs the table to itself).",
         "",
         run_reindex},
        {"copy",
         {"TABLE", "NEWTABLE"},
         {{"--replace", "", "replace NEWTABLE where it exists already (its records are lost)"}},
         "Copy a table, its records, memo values and index tags, to a new table file.",
         "Records marked deleted are left out. Others may go on using TABLE meanwhile; the copy\n"
         "shows the records as they were when it began, and appears whole or not at all.",
         run_copy},
        {"zap",
         {"TABLE"},
         {},
         "Remove every record of a table (needs the table to itself).",
         "",
         run_zap},
        {"check",
         {"TABLE"},
         {},
         "Check a table file's consistency; exit status 1 when it is damaged.",
         "Checks the header, the field descriptions, the counters, every record, every memo\n"
         "and blob value and every index tag against the records, and prints one line per\n"
         "problem found (on a sound table, \"OK\" and the indexes checked).",
         run_check},
        {"recover",
         {"TABLE", "NEW_TABLE"},
         {},
         "Copy the intact records of a damaged table into a new table.",
         "Every record whose contents and memo values verify goes into NEW_TABLE with its\n"
         "record number, its fields and index tags as in TABLE; the numbers of the records\n"
         "lost are listed. TABLE is only read. Exit status 1 when records were lost.",
         run_recover},
        {"demo",
         {"DIR"},
         {{"--products", "N", "the number of products (default 200, at most 10000000)"},
          {"--replace", "", "make the demo tables anew where they exist already"},
          {"--dictionary", "", "make the store a data dictionary with the employees as users"},
          {"--register", "", "map BALDERIM to DIR in the user's own ads.ini too"}},
         "Create a demo store for the stock-count program in DIR.",
         "Makes CadProdutos.adt (products with codes, EAN-13 barcodes, groups and quantities),\n"
         "CadFuncionariosLojas.adt (employees with their passwords) and an empty\n"
         "Auditoria.adt, and maps the alias BALDERIM to DIR in DIR/ads.ini (other entries\n"
         "of an existing ads.ini are kept). With --dictionary the tables belong to the data\n"
         "dictionary DIR/Loja.add (BALDERIM names it; Admin's password is asked as dict asks\n"
         "it), whose users are the employees (their first names, the staff table's passwords)\n"
         "in the group Funcionarios, who may read CadProdutos and add rows to Auditoria. The\n"
         "stock-count program cannot log in to a dictionary: it runs on a demo without it.\n"
         "With --register BALDERIM is mapped to DIR in the user's own ads.ini as well\n"
         "($XDG_CONFIG_HOME/varelum/ads.ini, else ~/.config/varelum/ads.ini), where the\n"
         "program finds it when started from the desktop menu.",
         run_demo},
        {"sql",
         {"DIR", "STATEMENT", "[PARAM...]"},
         {},
         "Run one SQL statement on the store in DIR.",
         "Each PARAM is bound as text to the statement's parameters in order (\":name\" and \"?\"\n"
         "markers, numbered as they appear). A query's rows are written as CSV in the form of\n"
         "export; any other statement reports the rows it changed. Tables are named as their\n"
         "files, with or without \".adt\", for example\n"
         "  varelum-store sql DIR \"SELECT * FROM CadProdutos WHERE CodBarras = :c\" 7891234567895",
         run_sql},
        {"dict",
         {"FILE.add", "ACTION", "[ARG...]"},
         {{"--description", "TEXT", "the new dictionary's description (create)"},
          {"--group", "GROUP", "the new dictionary is readable by GROUP too (create; mode 0640)"},
          {"--global", "", "every user may use the new link (add-link; else only Admin)"}},
         "Make and change a data dictionary: its users, groups, tables, rights, links and "
         "procedures.",
         "Actions:\n"
         "  create                                   a new dictionary with the user Admin\n"
         "  list                                     tables (with each user's rights), groups,\n"
         "                                           users, links, procedures\n"
         "  add-user USER [GROUP], remove-user USER, password USER\n"
         "  unlock USER                              lift the lockout of a user after too many\n"
         "                                           wrong passwords (password USER does too)\n"
         "  add-group GROUP, remove-group GROUP, join USER GROUP, leave USER GROUP\n"
         "  add-table NAME [FILE], remove-table NAME  register a table file (FILE relative to\n"
         "                                           the dictionary; default NAME) or let it go\n"
         "  grant USER|GROUP RIGHTS TABLE [COLUMN], revoke USER|GROUP RIGHTS TABLE [COLUMN]\n"
         "                                           RIGHTS: read,update,insert,delete or all\n"
         "  add-link ALIAS LINKED.add [USER], remove-link ALIAS\n"
         "                                           SQL reaches LINKED.add's tables as\n"
         "                                           ALIAS.TABLE, logged in there as USER (whose\n"
         "                                           password is asked for and kept sealed) or,\n"
         "                                           without USER, as each connection's own user\n"
         "  add-procedure NAME PARAMETERS SQL, remove-procedure NAME\n"
         "                                           PARAMETERS as fields of create\n"
         "                                           (\"Codigo,Char,20;\", \"\" for none); SQL\n"
         "                                           names them as :Codigo; run with\n"
         "                                           EXECUTE PROCEDURE NAME(ARGS)\n"
         "Every action but create logs in as Admin. Passwords (Admin's, a new user's, a linked\n"
         "user's) are typed at the terminal without echo, or read one line each from standard\n"
         "input; they are never taken from the command line and never printed. A new\n"
         "dictionary is readable and writable by its owner only (0600); every other action\n"
         "warns when the file is open to more than its owner and a reading group.",
         run_dict},
    };
    return kCommands;
}

}  // namespace varelum::store

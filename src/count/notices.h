// The count's notices and the fixed texts it writes into the window and the audit row. These are
// the program's own Portuguese texts, shown to the user exactly as they stand.
#pragma once

namespace varelum::count {

// Notices: each ends its operation (followed by the silent abort, except the close refusal).
inline constexpr const char* NoticeCountAlreadyOpen = "Já existe uma conferência em aberto!";
inline constexpr const char* NoticeUnknownPassword = "Senha não existente!";
inline constexpr const char* NoticeChooseProduct = "É necessário selecionar um produto!";
inline constexpr const char* NoticeZeroStock =
    "A quantidade atual deste produto está zerada e a conferência não poderá continuar!";
inline constexpr const char* NoticeUnknownCode = "Não existe nenhum produto com este código!";
inline constexpr const char* NoticeWrongReads =
    "Não é possível finalizar uma conferência com produtos divergentes!";
inline constexpr const char* NoticeStockDiffers =
    "A quantidade atual em estoque diverge da quantidade conferida!";
inline constexpr const char* NoticeCannotClose =
    "Existe uma conferência em aberto e não será possível fechar!";

// Prefixes of the window's texts.
inline constexpr const char* CurrentQuantityPrefix = "Qtde atual: ";
inline constexpr const char* CorrectReadsPrefix = "Corretos: ";
inline constexpr const char* WrongReadsPrefix = "Errados: ";
inline constexpr const char* CountOpenedByPrefix = "Conferência aberta por: ";

// The audit row's fixed texts.
inline constexpr const char* AuditSituation = "CONF ESTOQUE";
inline constexpr const char* AuditSignedByPrefix = "Conferido por: ";

}  // namespace varelum::count

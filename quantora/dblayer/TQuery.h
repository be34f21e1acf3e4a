// TQuery: SQL text with `:name` parameters on a database alias. Opening runs the statement and
// reads at most one row; a live result of a one-table SELECT accepts Insert, Edit and Post.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "quantora/dblayer/Backend.h"
#include "quantora/dblayer/LiteralParams.h"
#include "quantora/dblayer/SqlText.h"
#include "quantora/dblayer/TDataSet.h"
#include "quantora/dblayer/TParam.h"

class TQuery : public TDBDataSet {
  public:
    explicit TQuery(TComponent* owner = nullptr) : TDBDataSet(owner) {}
    ~TQuery() override;

    // Replaces the SQL text (closing the query first); parameters are taken from the text.
    void SetSQL(const AnsiString& sql);
    const AnsiString& SQL() const { return sql_; }

    bool RequestLive() const { return request_live_; }
    void SetRequestLive(bool live);
    bool UniDirectional() const { return uni_directional_; }
    void SetUniDirectional(bool uni) { uni_directional_ = uni; }

    TParams& Params() { return params_; }
    int ParamCount() const { return params_.Count(); }
    TParam* ParamByName(const AnsiString& name) const { return params_.ParamByName(name); }

    // Prepares the statement once and keeps it until UnPrepare or a new SQL text that is another
    // statement: a text that differs only in the numeric literals the layer binds (see
    // LiteralParams.h) keeps the statement and binds its own values.
    void Prepare();
    void UnPrepare() noexcept;
    bool Prepared() const { return prepared_; }

    // Runs a statement that returns no rows.
    void ExecSQL();
    // Rows changed by the last ExecSQL; -1 after an Open.
    int RowsAffected() const { return static_cast<int>(rows_affected_); }

    bool CanModify() const override;

  protected:
    void InternalOpen(std::vector<ColumnSpec>& columns) override;
    void InternalClose() noexcept override;
    void InternalRestart() override;
    bool InternalStep() override;
    void InternalPost(bool inserting, const std::vector<Variant>& values,
                      const AssignedColumns& assigned,
                      const std::vector<Variant>& old_values) override;
    AnsiString Describe() const override { return sql_; }

  private:
    void Translate(quantora::db::PlaceholderStyle style);
    // Whether the parameters are those of the translated text, in its order and spelling.
    bool SameParams() const;
    const AnsiString& EngineSql() const;
    void EnsureStatement();
    [[noreturn]] void RethrowForCaller() const;
    void BindParams();
    void ReadAhead();
    void ReleaseStatement() noexcept;
    AnsiString BuildInsertSql(const AssignedColumns& assigned) const;
    AnsiString BuildUpdateSql(const AssignedColumns& assigned);

    AnsiString sql_;
    bool request_live_ = false;
    bool uni_directional_ = false;
    bool prepared_ = false;
    int64_t rows_affected_ = -1;
    TParams params_;
    AnsiString live_table_;
    quantora::db::TranslatedSql translated_;
    quantora::db::PlaceholderStyle translated_style_ =
        quantora::db::PlaceholderStyle::QuestionNumber;
    // The statement with the text's numeric literals bound (after the parameters); empty text
    // when there were none.
    quantora::db::BoundLiterals literals_;
    AnsiString engine_before_;  // SetSQL's copy of the prepared statement's text
    // The parameter of each placeholder (null: not set up), found once per statement.
    std::vector<const TParam*> placeholder_params_;
    // The connection outlives the statement lease (declaration order).
    std::shared_ptr<quantora::db::Connection> conn_;
    quantora::db::StatementLease stmt_;
    // The INSERT or UPDATE that Post ran last, kept for the next Post.
    quantora::db::StatementLease post_stmt_;
    bool post_inserting_ = false;
    AssignedColumns post_assigned_;
    std::vector<int> post_key_fields_;
};

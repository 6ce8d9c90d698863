select a,
delimiter from t;
select 2
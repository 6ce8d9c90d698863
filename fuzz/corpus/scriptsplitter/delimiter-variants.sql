delimiter $$
select 1; select 2$$ select 3 $$
  DELIMITER	;
select 4;DELIMITER
select 5;
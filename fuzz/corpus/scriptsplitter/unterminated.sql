select 'a;b
select "c
/* open
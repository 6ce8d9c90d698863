select 1 -- a;b
, 2; # x;y
select /* a;b
 c */ 3; select 1--2;
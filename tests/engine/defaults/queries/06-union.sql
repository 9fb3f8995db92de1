select id, 'member' as kind from members where active = 1 union all select id, 'guest' from guests union select id, 'staff' from staff where left_on is null
